#include "UnitPracDataMan.h"

#include "SysUtils.h"

TPracDataItem& TPracDataManage::Items(int index) {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return *FItems[static_cast<std::size_t>(index)];
}

const TPracDataItem& TPracDataManage::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return *FItems[static_cast<std::size_t>(index)];
}

void TPracDataManage::LoadFromFile(const AnsiString& fileName) {
    Stream.Rewind();
    Stream.LoadFromFile(fileName);
    Stream.Rewind();
    const int count = Stream.ReadInteger();
    for (int i = 0; i < count; ++i) {
        auto item = std::make_unique<TPracDataItem>();
        item->LoadFromStream(Stream);
        FItems.push_back(std::move(item));
    }
}
