#include "UnitVDataItem.h"

void TVDataItem::LoadFromStream(TMyStrStream& /*reader*/) {}
