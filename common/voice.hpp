// Where a lower layer's words go. The codec prints nothing itself: its
// caller hands it the two channels (the console's in the tool, see
// console::voice) or none, and the codec says its progress and its notes
// through them.
#pragma once

#include <string_view>

struct Voice {
    void (*out)(std::string_view) = nullptr;  // ordinary output ("Adding %s ", the ratio)
    void (*err)(std::string_view) = nullptr;  // the console channel (progress dots, "17", notes)
};

// Says `text` on `channel`, when there is one.
inline void say(void (*channel)(std::string_view), std::string_view text) {
    if (channel) channel(text);
}
