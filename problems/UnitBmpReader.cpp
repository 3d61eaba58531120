#include "UnitBmpReader.h"

#include "SysUtils.h"

std::size_t ReadBmp(const char* /*data*/, std::size_t rest, QImage& bitmap) {
    bitmap = QImage();
    if (rest == 0)
        return 0;
    throw EInvalidGraphic();
}
