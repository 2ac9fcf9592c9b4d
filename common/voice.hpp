// Where a lower layer's words go. The codec prints nothing itself: its
// caller hands it the two channels (the console's in the tool, see
// console::voice) or none, and the codec says its progress and its notes
// through them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

struct Voice {
    void (*out)(std::string_view) = nullptr;  // ordinary output ("Adding %s ", the ratio)
    void (*err)(std::string_view) = nullptr;  // the console channel (progress dots, "17", notes)
};

// The pieces one after another (appended, not added: GCC 12 warns falsely
// on a chain of operator+ in a Release build).
inline std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view p : pieces) text.append(p);
    return text;
}

// Says `text` on `channel`, when there is one.
inline void say(void (*channel)(std::string_view), std::string_view text) {
    if (channel) channel(text);
}
