#pragma once
// The command-line scanner both programs use: long options ("--name value",
// "--name=value"), and where a program allows them, unambiguous abbreviations of long
// names, groups of one-letter options ("-qo out.wav", "-oout.wav"), arguments that are
// not options, and "--" ending the options. The scanner finds the options and their
// values; each program checks the values and words its own messages.
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vl {

struct OptionDef {
    const char* name; // long name without the dashes
    char letter; // one-letter form, 0 for none
    bool hasValue;
    int id;
};

struct ScanRules {
    bool abbreviations = false; // "--out" for "--output" when no other name starts so
    bool letters = false; // one-letter options and their groups
    bool arguments = false; // words that are not options; "--" ends the options
};

struct ScanFailure {
    enum class Kind {
        unknownOption, // text: "--name" (or the whole word when letters are off)
        unknownLetter, // text: the letter
        ambiguous, // text: "--name" as given
        missingValue, // text: the option as shown ("--name" or "-l")
        unexpectedValue, // text: "--name"
        unexpectedArgument, // text: the word
        rejected, // the program's handler refused a value (it has the message)
    };
    Kind kind = Kind::rejected;
    std::string text;
};

// Calls option(definition, shown, value) for every option in order (value empty for one that
// takes none; shown is "--name" with the full name, or "-l") and argument(word) for every
// other word. False at the first usage error, described in failure; a handler answering
// false stops the scan as rejected.
bool scanOptions(const std::vector<std::string>& args, std::span<const OptionDef> table, const ScanRules& rules,
                 const std::function<bool(const OptionDef&, const std::string& shown, const std::string& value)>& option,
                 const std::function<void(const std::string&)>& argument, ScanFailure& failure);

// The answer to --help or --version: text on stdout; the exit status, 0, or 1 when it
// could not be written.
int printAnswer(const std::string& text);

} // namespace vl
