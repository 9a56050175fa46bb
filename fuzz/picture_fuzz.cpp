// Fuzz target for the picture-file checks: any bytes are judged without reading outside them,
// and what a check accepts keeps the promises the decoders rely on (a metafile's records lie
// inside the file, its size is within the limits; a cursor relabelled as an icon is judged
// as the cursor was).

#include "platform/picture_checks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read one byte too far is the sanitizer's to see.
    std::vector<std::uint8_t> bytes(data, data + size);
    const kesk::ByteView d(bytes.data(), bytes.size());

    const bool complete = kesk::pictureContainerComplete(d);
    const bool bmp = kesk::bmpComplete(d);
    const bool png = kesk::pngComplete(d);
    const bool gif = kesk::gifComplete(d);
    const bool jpeg = kesk::jpegComplete(d);
    const bool ico = kesk::icoComplete(d);
    check(!(bmp || png || gif || jpeg || ico) || complete, "a complete container judged broken");

    if (const auto info = kesk::inspectMetafile(d)) {
        check(kesk::isMetafile(d), "inspected without a metafile signature");
        check(info->offset <= size && info->length <= size - info->offset,
              "metafile records outside the file");
        check(info->length >= 18, "metafile shorter than its header");
        check(info->widthHimetric >= 1 && info->heightHimetric >= 1 &&
                  info->widthHimetric <= kesk::kMaxMetafileHimetric &&
                  info->heightHimetric <= kesk::kMaxMetafileHimetric,
              "metafile size outside the limits");
        for (const std::uint32_t dpi : {0u, 96u, 480u}) {
            const kesk::PixelSize px = kesk::metafilePixels(*info, dpi);
            check(px.width >= 1 && px.height >= 1, "metafile without pixels");
        }
        check(complete, "a sound metafile judged broken");
    }

    if (kesk::isIconContainer(d)) {
        std::vector<std::uint8_t> relabelled = bytes;
        kesk::relabelCursorAsIcon(relabelled);
        const kesk::ByteView r(relabelled.data(), relabelled.size());
        check(kesk::isIconContainer(r), "relabelling lost the icon directory");
        check(kesk::icoComplete(r) == ico, "relabelling changed the directory's extent");
        check(relabelled[2] == 1, "a cursor stays a cursor");
    }
    return 0;
}
