#include "app/AboutBox.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vantor {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    auto* layout = new QVBoxLayout(this);
    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setPixmap(QIcon(":/icons/chip.svg").pixmap(96, 96));
    ProgramIcon->setAlignment(Qt::AlignCenter);
    Version = new QLabel(kVersionLine, this);
    Version->setObjectName("Version");
    Version->setAlignment(Qt::AlignCenter);
    Copyright = new QLabel(kNoticeLine, this);
    Copyright->setObjectName("Copyright");
    Copyright->setAlignment(Qt::AlignCenter);
    Places = new QLabel(this);
    Places->setObjectName("Places");
    Places->setWordWrap(true);
    Places->setTextInteractionFlags(Qt::TextSelectableByMouse);
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ProgramIcon);
    layout->addWidget(Version);
    layout->addWidget(Copyright);
    layout->addWidget(Places);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    // As large as its texts need in this font, never cut.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void AboutBox::setFilePlaces(const FilePlaces& places, std::string usbLibrary) {
    places_ = places;
    usbLibrary_ = std::move(usbLibrary);
}

void AboutBox::showEvent(QShowEvent* event) {
    Places->setVisible(!places_.settings.empty());
    if (!places_.settings.empty())
        Places->setText(QString::fromStdString(DescribeFilePlaces(places_, usbLibrary_)).trimmed());
    setFixedSize(width(), layout()->heightForWidth(width()) > 0 ? layout()->heightForWidth(width())
                                                                : sizeHint().height());
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace vantor
