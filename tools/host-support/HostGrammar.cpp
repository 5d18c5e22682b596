#include "HostGrammar.h"

#include <cstring>
#include <iterator>

namespace pagelet {

namespace {

// The grammar is ASCII: its words in either kind of string.
template <typename TChar>
std::basic_string<TChar> Ascii(const char* text) {
    return std::basic_string<TChar>(text, text + std::strlen(text));
}

template <typename TChar>
bool AllDigits(const std::basic_string<TChar>& text) {
    if (text.empty()) return false;
    for (TChar c : text) {
        if (c < TChar('0') || c > TChar('9')) return false;
    }
    return true;
}

template <typename TChar>
int Number(const std::basic_string<TChar>& digits) {
    int value = 0;
    for (TChar c : digits) value = value * 10 + static_cast<int>(c - TChar('0'));
    return value;
}

}  // namespace

template <typename TChar>
bool ParseHostCommand(const std::basic_string<TChar>& text, TBasicHostCommand<TChar>& command,
                      std::basic_string<TChar>& error) {
    using TString = std::basic_string<TChar>;
    using TKind = typename TBasicHostCommand<TChar>::TKind;
    command = TBasicHostCommand<TChar>{};
    command.Name = text;
    const size_t equals = text.find(TChar('='));
    const TString verb = text.substr(0, equals);
    const TString argument = equals == TString::npos ? TString() : text.substr(equals + 1);
    struct TPlainCommand {
        const char* Name;
        TKind Kind;
    };
    constexpr TPlainCommand kPlain[] = {{"copy", TKind::Copy},
                                        {"select-all", TKind::SelectAll},
                                        {"wrap", TKind::Wrap},
                                        {"find-next", TKind::FindNext},
                                        {"find-prev", TKind::FindPrevious}};
    for (const TPlainCommand& plain : kPlain) {
        if (text == Ascii<TChar>(plain.Name)) {
            command.Kind = plain.Kind;
            return true;
        }
    }
    if (verb == Ascii<TChar>("percent") && AllDigits(argument) && argument.size() <= 3 && Number(argument) <= 100) {
        command.Kind = TKind::Percent;
        command.Percent = Number(argument);
        return true;
    }
    if (verb.compare(0, 4, Ascii<TChar>("find")) == 0 && equals != TString::npos && !argument.empty()) {
        TString flags;
        if (verb.size() > 4) {
            if (verb[4] != TChar('/')) {
                error = Ascii<TChar>("unknown command \"") + text + Ascii<TChar>("\"");
                return false;
            }
            flags = verb.substr(5);
        }
        for (TChar flag : flags) {
            if (flag == TChar('c')) {
                command.MatchCase = true;
            } else if (flag == TChar('w')) {
                command.WholeWords = true;
            } else if (flag == TChar('b')) {
                command.Backwards = true;
            } else {
                error = Ascii<TChar>("unknown search flag in \"") + text + Ascii<TChar>("\" (c, w and b are known)");
                return false;
            }
        }
        command.Kind = TKind::Find;
        command.Text = argument;
        return true;
    }
    error = Ascii<TChar>("unknown command \"") + text + Ascii<TChar>("\"");
    return false;
}

template <typename TChar>
bool ParseHostArguments(const std::vector<std::basic_string<TChar>>& args, TBasicHostOptions<TChar>& options,
                        const THostOwnOptions<TChar>& own, std::basic_string<TChar>& error) {
    using TString = std::basic_string<TChar>;
    for (auto it = args.begin(); it != args.end(); ++it) {
        const TString& arg = *it;
        // The options that take a value.
        const std::function<bool(TString&)> value = [&](TString& target) {
            if (std::next(it) == args.end() || std::next(it)->empty()) {
                error = arg + Ascii<TChar>(" needs a value");
                return false;
            }
            target = *++it;
            return true;
        };
        const auto is = [&arg](const char* name) { return arg == Ascii<TChar>(name); };
        const THostArgument mine = own ? own(arg, value) : THostArgument::NotMine;
        if (mine == THostArgument::Failed) return false;
        if (mine == THostArgument::Taken) continue;
        if (is("--help") || is("-h")) {
            options.Help = true;
        } else if (is("--wrap")) {
            options.Wrap = true;
        } else if (is("--dark")) {
            options.Dark = true;
        } else if (is("--print-text")) {
            options.PrintText = true;
        } else if (is("--close")) {
            options.CloseAfterLoad = true;
        } else if (is("--ansi")) {
            options.Ansi = true;
        } else if (is("--ini")) {
            if (!value(options.IniPath)) return false;
        } else if (is("--plugin")) {
            if (!value(options.PluginPath)) return false;
        } else if (is("--screenshot")) {
            if (!value(options.ScreenshotPath)) return false;
        } else if (is("--next")) {
            if (!value(options.NextFileName)) return false;
        } else if (is("--command")) {
            TString text;
            TBasicHostCommand<TChar> command;
            if (!value(text) || !ParseHostCommand(text, command, error)) return false;
            options.Commands.push_back(command);
        } else if (arg.size() > 1 && arg[0] == TChar('-') && arg[1] == TChar('-')) {
            error = Ascii<TChar>("unknown option ") + arg;
            return false;
        } else if (!options.FileName.empty()) {
            error = Ascii<TChar>("more than one file given: ") + options.FileName + Ascii<TChar>(" and ") + arg;
            return false;
        } else {
            options.FileName = arg;
        }
    }
    return true;
}

template <typename TChar>
std::basic_string<TChar> Escaped(const std::basic_string<TChar>& text) {
    std::basic_string<TChar> result;
    for (TChar c : text) {
        if (c == TChar('\r')) {
            result += Ascii<TChar>("\\r");
        } else if (c == TChar('\n')) {
            result += Ascii<TChar>("\\n");
        } else {
            result += c;
        }
    }
    return result;
}

template <typename TChar>
std::basic_string<TChar> WithNewlines(const std::basic_string<TChar>& text) {
    std::basic_string<TChar> result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const TChar c = text[i];
        if (c == TChar('\r')) {
            result += TChar('\n');
            if (i + 1 < text.size() && text[i + 1] == TChar('\n')) ++i;
        } else if (c != TChar('\0')) {
            result += c;
        }
    }
    return result;
}

#define PAGELET_HOST_GRAMMAR(TChar)                                                                              \
    template bool ParseHostCommand<TChar>(const std::basic_string<TChar>&, TBasicHostCommand<TChar>&,           \
                                          std::basic_string<TChar>&);                                           \
    template bool ParseHostArguments<TChar>(const std::vector<std::basic_string<TChar>>&,                      \
                                            TBasicHostOptions<TChar>&, const THostOwnOptions<TChar>&,          \
                                            std::basic_string<TChar>&);                                         \
    template std::basic_string<TChar> Escaped<TChar>(const std::basic_string<TChar>&);                         \
    template std::basic_string<TChar> WithNewlines<TChar>(const std::basic_string<TChar>&);
PAGELET_HOST_GRAMMAR(char)
PAGELET_HOST_GRAMMAR(wchar_t)
#undef PAGELET_HOST_GRAMMAR

}  // namespace pagelet
