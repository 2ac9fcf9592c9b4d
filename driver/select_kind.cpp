// The catalogue step of one option group and the operands of /other and /isa.
#include "driver/select_kind.hpp"

#include "common/console.hpp"
#include "common/hex.hpp"

namespace {

// A TypeId text holds at most "SSSS:OOOO", the form the reports print.
constexpr std::size_t kMaxTypeIdText = 9;

bool select_other(const CommandGroup& g, RunState& state) {
    if (!g.type_operand) {
        console::out("Input parameter error: /other needs a TypeId operand such as D000:0.\n");
        state.group_failed = true;
        state.fail(state.group.code);
        return false;
    }
    const std::string& operand = *g.type_operand;
    auto value = hex_before_colon(operand);
    if (!value || operand.empty() || operand.size() > kMaxTypeIdText) {
        console::outf("Input parameter %s error.", operand.c_str());
        state.group_failed = true;
        state.fail(state.group.code);
        return false;
    }
    state.group.type_id = operand;
    state.group.type_value = static_cast<std::uint16_t>(*value);
    return true;
}

}  // namespace

std::uint32_t isa_segment_operand(RunState& state, std::string_view operand) {
    std::uint32_t value = 0;
    for (char ch : operand) {
        if (ch == ':' || ch == '/') break;
        int d = hex_digit(ch);
        if (d < 0) {
            console::outf("Input parameter %.*s error.", static_cast<int>(operand.size()), operand.data());
            state.group_failed = true;
            state.fail(state.group.code);  // the add goes on, but under /err the run has failed
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

std::optional<std::uint32_t> hex_before_colon(std::string_view text) {
    std::uint32_t value = 0;
    for (char ch : text) {
        if (ch == ':') break;
        int d = hex_digit(ch);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

bool select_kind(const Command& command, const CommandGroup& g, RunState& state) {
    const OptionCode c = g.code;
    GroupRequest& group = state.group;
    group.type_value = 0xFFFF;
    group.code = c;
    const ComponentKind& row = kind(c);
    if (row.operation == Operation::None) {
        // A word that is no switch ends the run.
        state.group_failed = true;
        console::conf("Unknown option %s: the run ends here\n", command.args[g.at].c_str());
        state.fail_run();
        return false;
    }
    if (row.becomes != 0) group.code = row.becomes;
    switch (row.type_source) {
    case TypeSource::Operand: return select_other(g, state);
    case TypeSource::GroupNumber:
        if (command.group_number > kMaxGroupNumber) {
            console::outf("Input parameter /group%d error: groups are numbered 0 to %d.\n", command.group_number,
                          kMaxGroupNumber);
            state.group_failed = true;
            state.fail(c);
            return false;
        }
        group.type_id = group_type_id(command.group_number);
        group.type_value = static_cast<std::uint16_t>(kGroupSlots.base + command.group_number);
        return true;
    case TypeSource::None: return true;
    case TypeSource::Fixed: break;
    }
    group.type_id = std::string(kind(group.code).type_id);
    group.type_value = kind(group.code).type_value;
    if (kind(group.code).placement == Placement::TopBlock) state.ncpu_requested = true;
    return true;
}
