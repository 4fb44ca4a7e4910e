#include "platform/OptionScanner.h"

#include <cstdio>

namespace vl {
namespace {

bool fail(ScanFailure& failure, ScanFailure::Kind kind, std::string text) {
    failure.kind = kind;
    failure.text = std::move(text);
    return false;
}

} // namespace

bool scanOptions(const std::vector<std::string>& args, std::span<const OptionDef> table, const ScanRules& rules,
                 const std::function<bool(const OptionDef&, const std::string& shown, const std::string& value)>& option,
                 const std::function<void(const std::string&)>& argument, ScanFailure& failure) {
    using Kind = ScanFailure::Kind;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool dashed = arg.size() >= 2 && arg[0] == '-';
        if (rules.arguments && (optionsEnded || !dashed)) {
            argument(arg);
            continue;
        }
        if (rules.arguments && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool longForm = arg.size() >= 2 && arg.compare(0, 2, "--") == 0;
        if (!longForm && !rules.letters) {
            if (dashed) return fail(failure, Kind::unknownOption, arg);
            return fail(failure, Kind::unexpectedArgument, arg);
        }
        if (longForm) {
            const std::size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const OptionDef* match = nullptr;
            int prefixMatches = 0;
            for (const OptionDef& o : table) {
                const std::string full = o.name;
                if (full == name) {
                    match = &o;
                    prefixMatches = 1;
                    break;
                }
                if (rules.abbreviations && !name.empty() && full.compare(0, name.size(), name) == 0) {
                    match = &o;
                    ++prefixMatches;
                }
            }
            if (!match) return fail(failure, Kind::unknownOption, "--" + name);
            if (prefixMatches > 1) return fail(failure, Kind::ambiguous, "--" + name);
            const std::string shown = std::string("--") + match->name;
            std::string value;
            if (!match->hasValue) {
                if (eq != std::string::npos) return fail(failure, Kind::unexpectedValue, shown);
            } else if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(failure, Kind::missingValue, shown);
            }
            if (!option(*match, shown, value)) return fail(failure, Kind::rejected, shown);
            continue;
        }
        // A group of one-letter options: flags, possibly ending in one that takes a value.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionDef* match = nullptr;
            for (const OptionDef& o : table)
                if (o.letter != 0 && o.letter == arg[k]) match = &o;
            if (!match) return fail(failure, Kind::unknownLetter, std::string(1, arg[k]));
            const std::string shown = std::string("-") + match->letter;
            if (!match->hasValue) {
                if (!option(*match, shown, std::string())) return fail(failure, Kind::rejected, shown);
                continue;
            }
            std::string value;
            if (k + 1 < arg.size()) value = arg.substr(k + 1);
            else if (i + 1 < args.size()) value = args[++i];
            else return fail(failure, Kind::missingValue, shown);
            if (!option(*match, shown, value)) return fail(failure, Kind::rejected, shown);
            break;
        }
    }
    return true;
}

int printAnswer(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace vl
