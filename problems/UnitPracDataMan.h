// The container of the problem records of one problem file, in file order.
#pragma once

#include "AnsiString.h"
#include "UnitPracDataItem.h"
#include "UnitStrStream.h"

#include <memory>
#include <vector>

class TPracDataManage {
public:
    // budget: the memory each load may hold, the file's text with its records.
    explicit TPracDataManage(std::size_t budget = MaxLoadBytes) : Stream(budget) {}

    // The reader, one for the container's whole life; keeps its text after a load.
    TMyStrStream Stream;

    int Count() const { return static_cast<int>(FItems.size()); }
    // Raise EListError ("List index out of bounds (%d)") outside 0..Count-1.
    TPracDataItem& Items(int index);
    const TPracDataItem& Items(int index) const;

    // Appends the records of the file to those already held (callers Clear first). On an
    // error the records read in full stay, the one being read is dropped and the error
    // propagates.
    void LoadFromFile(const AnsiString& fileName);
    // Destroys every record; the reader keeps its text.
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TPracDataItem>> FItems;
};
