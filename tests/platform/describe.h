// Messages as short text, so a test states a whole pump's worth in one line: "down 10,-5, keydown 12C".
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

inline std::string describe(const std::vector<PlatMessage>& messages) {
    static const struct {
        uint32_t message;
        const char* format;  // given the key code, then x and y
    } names[] = {{PLAT_WM_KEYDOWN, "keydown %X"},         {PLAT_WM_KEYUP, "keyup %X"},
                 {PLAT_WM_LBUTTONDOWN, "down %.0u%d,%d"}, {PLAT_WM_MOUSEMOVE, "move %.0u%d,%d"},
                 {PLAT_WM_LBUTTONUP, "up %.0u%d,%d"},     {PLAT_WM_SETFOCUS, "setfocus"},
                 {PLAT_WM_KILLFOCUS, "killfocus"},        {PLAT_WM_CLOSE, "close"}};
    std::string out;
    for (const PlatMessage& m : messages) {
        char one[64];
        snprintf(one, sizeof one, "message %u", (unsigned)m.message);
        for (const auto& n : names)
            if (n.message == m.message)
                snprintf(one, sizeof one, n.format, (unsigned)m.wParam, (int16_t)(m.lParam & 0xFFFF),
                         (int16_t)((m.lParam >> 16) & 0xFFFF));
        out += (out.empty() ? "" : ", ") + std::string(one);
    }
    return out;
}

// One pump as the engine runs it: every waiting message taken and dispatched, up to the quit message.
inline std::string pumpAndDescribe() {
    std::vector<PlatMessage> got;
    PlatMessage m;
    while (platPeekMessage(&m)) {
        if (platGetMessage(&m) == 0) break;
        got.push_back(m);
        platTranslateMessage(&m);
        platDispatchMessage(&m);
    }
    return describe(got);
}
