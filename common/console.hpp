// The two output channels and the console's input.
//
// Standard output is rendered as an 80-column console shows it, in a terminal
// and in a file alike: the line being written is kept until it ends, so a
// cursor move to a column pads with blanks (or lets later text overwrite, as
// on a console), and writing the 80th character of a line ends the line.
// A control byte other than the line end (ESC, CR, BEL, ...) is drawn as
// "\x1b" on both channels, never sent raw: the texts that carry one came
// from a file (a stored name) and must not steer the terminal.
// The console channel is standard error; standard output is flushed before
// each console write so that the order on screen holds. Both channels share
// one cursor column, as they share one screen.
//
// Tests capture both channels and feed standard input through Capture.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/platform.hpp"
#include "common/voice.hpp"

namespace console {

inline constexpr int kWidth = 80;

// Ordinary output on standard output.
void out(std::string_view text);
void outf(const char* format, ...) MOZAIK_PRINTF(1, 2);

// Moves the cursor of standard output to `column` (0-based) of the current line.
void move_to_column(int column);

// The column the next character lands in.
int column();

// The console channel (standard error). Flushes standard output first.
void con(std::string_view text);
void conf(const char* format, ...) MOZAIK_PRINTF(1, 2);

// One of this tool's own messages (`text`, without its line end) on the
// console channel, laid out for 80 columns: a line that would run past 79
// is broken at its last blank within them and goes on indented by two
// blanks, so that no word or number is split; a word longer than a line is
// left whole for the console to wrap.
void note(std::string_view text);
void notef(const char* format, ...) MOZAIK_PRINTF(1, 2);
// The same layout as a text: `text` with its breaks, no line end after it.
std::string fitted(std::string_view text);

// A text that came from a file (a stored name, a path typed into a
// manifest) as it is shown: every control byte, the line end too, as "\x0a".
std::string shown(std::string_view text);

// Both channels as a voice, for the codec and any layer that prints nothing itself.
Voice voice();

// Writes out any unfinished line of standard output and flushes both channels.
void flush();

// From now on, ordinary output goes to the console channel, rendered as
// before, so that standard output carries only what document() writes.
void divert_output();

// Writes `text` to standard output as it is: no rendering, not diverted (a
// machine-readable document).
void document(std::string_view text);

// Waits for one key press without echo when standard input and standard
// output are both terminals
// (Ctrl-C counts as a key; the terminal's settings are restored either way);
// otherwise returns at once, so that no scripted run can hang.
void wait_key();

// Reads one line of standard input, without its line end, keeping at most
// `max_length` characters (the rest of the line is read and dropped).
// Returns nothing at end of input.
std::optional<std::string> read_line(std::size_t max_length);

// While alive, both channels go to strings and standard input comes from
// `input`. Not nestable.
class Capture {
public:
    explicit Capture(std::string input = {});
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // What each channel received so far (standard output flushed first).
    std::string out();
    std::string err();
};

}  // namespace console
