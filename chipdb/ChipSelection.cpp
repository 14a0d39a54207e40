#include "chipdb/ChipSelection.h"

#include "chipdb/NameText.h"

namespace vantor {
namespace {

const std::string& EmptyText() {
    static const std::string empty;
    return empty;
}

ChipListRow RowOf(const ChipRecord& record, int slot) {
    auto fields = SplitNameText(NameTextUtf8(record));
    fields.resize(std::max<std::size_t>(fields.size(), 3));
    return ChipListRow{fields[0], fields[1], fields[2], slot};
}

} // namespace

const std::string& ChoiceBox::itemText(int index) const {
    if (index < 0 || index >= count())
        return EmptyText();
    return items_[static_cast<std::size_t>(index)];
}

int ChoiceBox::find(std::string_view text) const {
    if (!contains(text))
        return -1;
    for (int i = 0; i < count(); ++i)
        if (EqualsIgnoreCase(items_[static_cast<std::size_t>(i)], text))
            return i;
    return -1;
}

bool ChoiceBox::contains(std::string_view text) const {
    return folded_.count(FoldAsciiCase(text)) != 0;
}

void ChoiceBox::append(const std::string& text) {
    items_.push_back(text);
    folded_.insert(FoldAsciiCase(text));
}

void ChoiceBox::clear() {
    items_.clear();
    folded_.clear();
    selected_ = -1;
}

void ChoiceBox::select(int index) {
    if (index < 0 || index >= count()) {
        selected_ = -1;
        return;
    }
    selected_ = index;
    text_ = items_[static_cast<std::size_t>(index)];
}

const ChipRecord* ChipSelection::CurrentChip() const {
    if (!db_ || currentChipIndex_ < 0 || currentChipIndex_ >= kChipSlots)
        return nullptr;
    return &(*db_)[currentChipIndex_];
}

void ChipSelection::SelectChip(int typeIndex, int makerIndex, int nameIndex) {
    maker_.clear();
    name_.clear();
    lastChose_ = false;
    int n = 0;
    for (int j = 0; db_ && j < kChipSlots; ++j) {
        const ChipRecord& record = (*db_)[j];
        if (NameTextEmpty(record))
            break;
        const auto fields = SplitNameText(NameTextUtf8(record));

        const std::string t = TrimmedField(fields, 0);
        if (!type_.contains(t))
            type_.append(t);
        // The item is looked up on every pass: the type it names may only
        // just have been appended.
        if (t != type_.itemText(typeIndex))
            continue;

        const std::string m = TrimmedField(fields, 1);
        if (!m.empty() && !maker_.contains(m))
            maker_.append(m);
        // With no item at makerIndex this is the empty text, so records
        // without a manufacturer name are reached then.
        if (m != maker_.itemText(makerIndex))
            continue;

        const std::string c = TrimmedField(fields, 2);
        if (c.empty() || name_.contains(c))
            continue;
        name_.append(c);
        if (n == nameIndex) {
            currentChipIndex_ = j;
            edit1_ = std::to_string(record.FlashSize);
            if (int step = CapacityStepIndex(record.FlashSize); step >= 0)
                sizeStep_ = step;
            edit2_ = std::to_string(record.FlashPage);
            lastChose_ = true;
        }
        ++n;
    }
    if (refreshHexView_)
        refreshHexView_();
    type_.select(typeIndex);
    maker_.select(makerIndex);
    name_.select(nameIndex);
}

void ChipSelection::TakeSelectedPositions() {
    SelTypeIndex = type_.selected();
    SelMakerIndex = maker_.selected();
    SelNameIndex = name_.selected();
    SelectChip(SelTypeIndex, SelMakerIndex, SelNameIndex);
}

void ChipSelection::ComboBox1Change(int position) {
    type_.select(position);
    maker_.select(0);
    name_.select(0);
    TakeSelectedPositions();
}

void ChipSelection::ComboBox2Change(int position) {
    maker_.select(position);
    name_.select(0);
    TakeSelectedPositions();
}

void ChipSelection::ComboBox3Change(int position) {
    name_.select(position);
    TakeSelectedPositions();
}

std::vector<ChipListRow> ListAllChips(const ChipDatabase& db) {
    std::vector<ChipListRow> rows;
    for (int i = 0; i < kChipSlots && !NameTextEmpty(db[i]); ++i)
        rows.push_back(RowOf(db[i], i));
    return rows;
}

std::vector<ChipListRow> FindChips(const ChipDatabase& db, std::string_view search) {
    std::vector<ChipListRow> rows;
    const std::string s = TrimBlanks(search);
    if (s.empty())
        return rows;
    for (int i = 0; i < kChipSlots && !NameTextEmpty(db[i]); ++i) {
        const std::string text = NameTextUtf8(db[i]);
        if (text.find(s) != std::string::npos)
            rows.push_back(RowOf(db[i], i));
    }
    return rows;
}

void SelectByNames(const ChipSelection& boxes, const ChipListRow& row,
                   const std::function<void(int, int, int)>& selectChip) {
    for (int pass = 0; pass < 3; ++pass)
        selectChip(boxes.typeBox().find(row.type), boxes.makerBox().find(row.maker),
                   boxes.nameBox().find(row.name));
}

} // namespace vantor
