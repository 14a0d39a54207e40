#pragma once
// The status bar: five fixed-width panels whose texts we paint ourselves, so
// panel 1 can turn red when it reads "Not connected" in the current language.
#include <QString>
#include <QWidget>
#include <array>

class QProgressBar;

namespace vantor {

class StatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 5;
    static constexpr std::array<int, kPanelCount> kPanelWidths = {50, 120, 70, 75, 50};
    // The first four panels together: where the progress bar starts.
    static constexpr int kProgressLeft = 317;
    static constexpr int kProgressWidthReduction = 315;

    explicit StatusBar(QWidget* parent = nullptr);

    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    QRect panelRect(int panel) const;
    int borderWidth() const { return 0; }

    QSize sizeHint() const override;

    // Panel 1's colour: red exactly while it shows "Not connected" in the
    // language of this moment, else the button-text colour.
    QColor panel1Colour() const;

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    std::array<QString, kPanelCount> texts_;
};

} // namespace vantor
