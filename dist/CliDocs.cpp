// Writes vantor-cli's manual page and bash completion from its command
// table at build time, so neither can list other commands or options than
// --help does.
//   vantor_cli_docs man TEMPLATE OUT   @COMMANDS@, @OPTIONS@ and @FORMATS@ filled in
//   vantor_cli_docs completion OUT
#include "buffer/DataFormats.h"
#include "cli/CommandTable.h"

#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

using namespace vantor;

namespace {

// roff escapes: a leading dot or quote, backslashes and hyphens.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

// A help text's lines joined into one paragraph.
std::string Paragraph(const char* help) {
    std::string out;
    for (const char* c = help; *c != '\0'; ++c)
        out += *c == '\n' ? ' ' : *c;
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out = Roff(out);
    // A line may not start a request.
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

std::string OptionHead(const OptionSpec& option) {
    std::string head = ".B " + Roff(option.name) + "\n";
    if (option.argument != nullptr)
        head = ".BI " + Roff(option.name) + " \" " + Roff(option.argument) + "\"\n";
    return head;
}

std::string Commands() {
    std::ostringstream out;
    for (const CommandSpec& command : AllCommands()) {
        out << ".TP\n.B " << Roff(command.synopsis) << "\n" << (Paragraph(command.help)) << "\n";
        for (const OptionSpec& option : command.options) {
            out << ".RS\n.TP\n" << OptionHead(option) << (Paragraph(option.help)) << "\n.RE\n";
        }
    }
    return out.str();
}

std::string Options() {
    std::ostringstream out;
    for (const OptionSpec& option : GlobalOptions())
        out << ".TP\n" << OptionHead(option) << (Paragraph(option.help)) << "\n";
    return out.str();
}

std::string Formats() {
    std::ostringstream out;
    for (const DataFileFormat format : {DataFileFormat::IntelHex, DataFileFormat::SRecord,
                                        DataFileFormat::Capsule, DataFileFormat::Raw})
        out << ".TP\n.B " << FormatWord(format) << "\n" << Roff(ExtensionPatterns(format)) << "\n";
    out << ".PP\nAny other extension, or none, is raw bytes.\n";
    return out.str();
}

void Replace(std::string& text, const std::string& mark, const std::string& with) {
    for (size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + with.size()))
        text.replace(at, mark.size(), with);
}

std::string Words(const std::set<std::string>& words) {
    std::string out;
    for (const std::string& word : words)
        out += (out.empty() ? "" : " ") + word;
    return out;
}

std::string SpacedFormatWords() {
    std::string words = FormatWords();
    for (char& c : words)
        c = c == '|' ? ' ' : c;
    return words;
}

std::string Completion() {
    std::set<std::string> commands;
    std::set<std::string> options;
    std::set<std::string> valued;
    for (const CommandSpec& command : AllCommands()) {
        commands.insert(command.name);
        for (const OptionSpec& option : command.options) {
            options.insert(option.name);
            if (option.argument != nullptr)
                valued.insert(option.name);
        }
    }
    for (const OptionSpec& option : GlobalOptions()) {
        options.insert(option.name);
        if (option.argument != nullptr)
            valued.insert(option.name);
    }
    std::string valuedCase;
    for (const std::string& option : valued)
        valuedCase += (valuedCase.empty() ? "" : " | ") + option;
    std::ostringstream out;
    out << "# bash completion for vantor-cli, made from its command table\n"
        << "_vantor_cli() {\n"
        << "    local cur prev words cword\n"
        << "    _init_completion || return\n"
        << "    local commands=\"" << Words(commands) << "\"\n"
        << "    local options=\"" << Words(options) << "\"\n"
        << "    case $prev in\n"
        << "        --db | --usb-library)\n            _filedir\n            return ;;\n"
        << "        --speed)\n            COMPREPLY=($(compgen -W \"0 1 2 3 4 5\" -- \"$cur\"))\n"
        << "            return ;;\n"
        << "        --lang)\n            COMPREPLY=($(compgen -W \"0 1 2\" -- \"$cur\"))\n"
        << "            return ;;\n"
        << "        --format)\n            COMPREPLY=($(compgen -W \"" << SpacedFormatWords()
        << "\" -- \"$cur\"))\n"
        << "            return ;;\n"
        << "        --chip)\n            local IFS=$'\\n'\n"
        << "            COMPREPLY=($(compgen -W \"$(vantor-cli chips 2>/dev/null | cut -d, -f3 | "
           "sort -u)\" -- \"$cur\"))\n"
        << "            return ;;\n"
        << "        " << valuedCase << ")\n            return ;;\n"
        << "    esac\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n        return\n    fi\n"
        << "    local i command=\"\"\n"
        << "    for ((i = 1; i < cword; i++)); do\n"
        << "        case ${words[i]} in\n"
        << "            " << valuedCase << ") ((i++)) ;;\n"
        << "            -*) ;;\n"
        << "            *) command=${words[i]}; break ;;\n"
        << "        esac\n    done\n"
        << "    if [[ -z $command ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
        << "    else\n        _filedir\n    fi\n"
        << "} &&\n    complete -F _vantor_cli vantor-cli\n";
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "man" && argc == 4) {
        std::ifstream in(argv[2]);
        std::stringstream page;
        page << in.rdbuf();
        std::string text = page.str();
        Replace(text, "@COMMANDS@\n", Commands());
        Replace(text, "@OPTIONS@\n", Options());
        Replace(text, "@FORMATS@\n", Formats());
        std::ofstream(argv[3]) << text;
        return in ? 0 : 1;
    }
    if (mode == "completion" && argc == 3) {
        std::ofstream(argv[2]) << Completion();
        return 0;
    }
    std::cerr << "usage: vantor_cli_docs man TEMPLATE OUT | completion OUT\n";
    return 2;
}
