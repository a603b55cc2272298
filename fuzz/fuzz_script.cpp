// The headless backend's input script: the input read as a script, then 40 frames run, every message the
// script queued for a frame taken before the frame ends. A malformed script must load nothing.
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    fuzz::resetHeadless();  // frame 0 again, and no window or queue left from the last input
    const std::string text(reinterpret_cast<const char*>(data),
                           size);  // stops at the first NUL, as a C string
    const int loaded = headlessLoadScript(text.c_str());
    int32_t delivered = 0;
    for (int frame = 0; frame < 40; frame++) {
        PlatMessage m;
        while (platGetMessage(&m) > 0) delivered++;
        if (platPeekMessage(&m)) platGetMessage(&m);  // the quit request, when one came
        headlessFailBeginDraw(1);
        if (platDisplayBeginDraw()) abort();  // a refused begin-draw ends the frame
    }
    if (!loaded && delivered) {
        fprintf(stderr, "a script that did not load delivered %d messages\n", int(delivered));
        abort();
    }
    return 0;
}
