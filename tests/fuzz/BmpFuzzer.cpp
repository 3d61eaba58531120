// The picture reader on its own: any bytes give a picture or one of the system's errors, and a
// picture never occupies more than the bytes there are nor more memory than it was given. A
// picture of a common layout occupies what its headers state and shows what its bytes give.
#include "BmpReading.h"
#include "FuzzSupport.h"
#include "ProblemLoading.h"
#include "SysUtils.h"
#include "UnitBmpReader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t pictureBytesLeft = FuzzPictureBytes;
    QImage bitmap;
    try {
        const std::size_t occupied =
            ReadBmp(reinterpret_cast<const char*>(data), size, bitmap, pictureBytesLeft);
        FuzzCheck(occupied <= size, "a picture occupies only the bytes there are");
        FuzzCheck(static_cast<std::size_t>(bitmap.sizeInBytes()) <= FuzzPictureBytes,
                  "a picture fits the memory it was given");
        FuzzCheck(pictureBytesLeft <= FuzzPictureBytes, "the memory given only shrinks");
        if (!bitmap.isNull())
            bitmap.pixel(bitmap.width() - 1, bitmap.height() - 1);
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        if (const std::optional<std::size_t> stated = BmpBytes(bytes))
            FuzzCheck(occupied == *stated, "a picture occupies the bytes its headers state");
        CheckBmpPixels(bytes, bitmap);
    } catch (const Exception&) {
    }
    return 0;
}
