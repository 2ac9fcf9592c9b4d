// Rendering of the 80-column console onto standard output and standard error.
#include "common/console.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace console {
namespace {

// The one screen both channels write to.
struct Screen {
    std::string line;       // unwritten part of the current stdout line
    int line_start = 0;     // column where `line` begins (text before it is written out)
    int cursor = 0;         // column of the next character
    bool diverted = false;  // ordinary output goes to the console channel
    // Test capture.
    bool capturing = false;
    std::string out_text, err_text, input;
    std::size_t input_pos = 0;
};

Screen& screen() {
    static Screen s;
    return s;
}

void write_err(std::string_view text);

void write_out(std::string_view text) {
    Screen& s = screen();
    if (s.diverted)
        write_err(text);
    else if (s.capturing)
        s.out_text.append(text);
    else
        std::fwrite(text.data(), 1, text.size(), stdout);
}

void write_err(std::string_view text) {
    Screen& s = screen();
    if (s.capturing)
        s.err_text.append(text);
    else
        std::fwrite(text.data(), 1, text.size(), stderr);
}

// Writes out the pending part of the stdout line (without ending it).
void flush_line() {
    Screen& s = screen();
    if (!s.line.empty()) {
        write_out(s.line);
        s.line_start += static_cast<int>(s.line.size());
        s.line.clear();
    }
}

void end_line(bool to_stdout) {
    Screen& s = screen();
    flush_line();
    if (to_stdout)
        write_out("\n");
    else
        write_err("\n");
    s.line.clear();
    s.line_start = 0;
    s.cursor = 0;
}

// After a full 80-character line: a console that wrapped by itself (a
// Windows console 80 columns wide) must not get the line end as well, or it
// would show a blank line. Files, pipes and captures always get it.
bool wrapped_by_console(platform::Stream stream) {
    return !screen().capturing && platform::console_wrapped(stream);
}

// A control byte other than the line end: it comes from a file (a stored
// name, a path) and would move the cursor, retitle or recolour the terminal.
bool is_control(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\n') || u == 0x7F;
}

// How a control byte is drawn: "\x1b", four printable characters.
std::string shown_control(char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto u = static_cast<unsigned char>(c);
    return {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
}

void put_plain(char c);

void put_out(char c) {
    if (is_control(c)) {
        for (char shown : shown_control(c)) put_plain(shown);
        return;
    }
    put_plain(c);
}

void put_plain(char c) {
    Screen& s = screen();
    if (c == '\n') {
        end_line(true);
        return;
    }
    int pos = s.cursor - s.line_start;
    if (pos < 0) pos = 0;
    if (static_cast<std::size_t>(pos) < s.line.size())
        s.line[pos] = c;
    else
        s.line.push_back(c);
    s.cursor = s.line_start + pos + 1;
    if (s.cursor >= kWidth) {
        // The console wraps: the rest of the line as drawn is kept.
        flush_line();
        // Diverted, ordinary output is drawn on the console channel's screen.
        if (wrapped_by_console(s.diverted ? platform::Stream::Err : platform::Stream::Out)) {
            s.line_start = 0;
            s.cursor = 0;
        } else {
            end_line(true);
        }
    }
}

void vformat(std::string& into, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return;
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    into.append(buf.data(), static_cast<std::size_t>(n));
}

}  // namespace

std::string shown(std::string_view text) {
    std::string s;
    for (char c : text) {
        if (c == '\n' || is_control(c))
            s += shown_control(c);
        else
            s.push_back(c);
    }
    return s;
}

void out(std::string_view text) {
    for (char c : text) put_out(c);
}

Voice voice() {
    return {out, con};
}

void outf(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vformat(text, format, args);
    va_end(args);
    out(text);
}

void move_to_column(int target) {
    Screen& s = screen();
    if (target < 0) target = 0;
    if (target >= kWidth) target = kWidth - 1;
    int pos = target - s.line_start;
    if (pos < 0) {
        // Already written out past that column: nothing can be overwritten.
        return;
    }
    if (static_cast<std::size_t>(pos) > s.line.size()) s.line.append(pos - s.line.size(), ' ');
    s.cursor = target;
}

int column() {
    return screen().cursor;
}

void con(std::string_view text) {
    Screen& s = screen();
    flush_line();
    if (!s.capturing) std::fflush(stdout);
    // The console channel draws on the same screen: it continues the
    // current line and wraps at the same width.
    std::string rendered;
    std::string escaped;
    for (char c : text) {
        if (is_control(c))
            escaped += shown_control(c);
        else
            escaped.push_back(c);
    }
    for (char c : escaped) {
        if (c == '\n') {
            rendered.push_back('\n');
            s.cursor = 0;
            s.line_start = 0;
            continue;
        }
        rendered.push_back(c);
        if (++s.cursor >= kWidth) {
            write_err(rendered);
            rendered.clear();
            if (!wrapped_by_console(platform::Stream::Err)) rendered.push_back('\n');
            s.cursor = 0;
        }
        s.line_start = s.cursor;
    }
    write_err(rendered);
    if (!s.capturing) std::fflush(stderr);
}

void conf(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vformat(text, format, args);
    va_end(args);
    con(text);
}

namespace {

// One line of a note laid out.
void fit_line(std::string_view text, std::string& out) {
    constexpr std::size_t kLine = kWidth - 1;  // a full 80th column would end the line itself
    constexpr std::string_view kIndent = "  ";
    std::size_t room = kLine;
    while (text.size() > room) {
        std::size_t cut = text.rfind(' ', room);
        // No blank within the line: the word goes whole, up to the next blank.
        if (cut == std::string_view::npos || cut == 0) cut = text.find(' ');
        if (cut == std::string_view::npos) break;
        out.append(text.substr(0, cut)).append("\n").append(kIndent);
        room = kLine - kIndent.size();
        text.remove_prefix(cut + 1);
    }
    out.append(text);
}

}  // namespace

std::string fitted(std::string_view text) {
    std::string out;
    for (;;) {
        const std::size_t end = text.find('\n');
        fit_line(text.substr(0, end), out);
        if (end == std::string_view::npos) return out;
        out.push_back('\n');
        text.remove_prefix(end + 1);
    }
}

void note(std::string_view text) {
    con(fitted(text) + "\n");
}

void notef(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vformat(text, format, args);
    va_end(args);
    note(text);
}

void flush() {
    flush_line();
    if (!screen().capturing) {
        std::fflush(stdout);
        std::fflush(stderr);
    }
}

void divert_output() {
    flush();
    screen().diverted = true;
}

void document(std::string_view text) {
    Screen& s = screen();
    flush_line();
    if (s.capturing) {
        s.out_text.append(text);
        return;
    }
    std::fflush(stderr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void wait_key() {
    Screen& s = screen();
    flush();
    // Only a person at a terminal, who sees the prompt, is asked for a key.
    if (s.capturing || !platform::is_terminal(platform::Stream::In) || !platform::is_terminal(platform::Stream::Out))
        return;
    platform::read_key();
}

std::optional<std::string> read_line(std::size_t max_length) {
    Screen& s = screen();
    flush();
    std::string text;
    bool any = false;
    for (;;) {
        int c;
        if (s.capturing) {
            c = s.input_pos < s.input.size() ? static_cast<unsigned char>(s.input[s.input_pos++]) : EOF;
        } else {
            c = std::getchar();
        }
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (text.size() < max_length) text.push_back(static_cast<char>(c));
    }
    if (!any) return std::nullopt;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    // An answer typed on a terminal was echoed with its line end.
    if (!s.capturing && platform::is_terminal(platform::Stream::In)) {
        s.line_start = 0;
        s.cursor = 0;
    }
    return text;
}

Capture::Capture(std::string input) {
    flush();
    Screen& s = screen();
    s = Screen{};
    s.capturing = true;
    s.input = std::move(input);
}

Capture::~Capture() {
    flush_line();
    screen() = Screen{};
}

std::string Capture::out() {
    flush_line();
    return screen().out_text;
}

std::string Capture::err() {
    return screen().err_text;
}

}  // namespace console
