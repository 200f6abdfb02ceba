// Shell completions from the command table.  Each script carries the
// table as shell functions (the subcommands of a command, its options, the
// options that take a value) and finds where on the command line the user
// is the same way: it walks the words typed so far, stepping into each
// subcommand named and over each option's value.  The tool's own options
// are allowed after any command, as the parser allows them.
#include <fmt/format.h>
#include <algorithm>
#include <map>
#include <set>

#include "describe/command_table.h"

namespace lifelog_tool {

namespace {

// `text` as one single-quoted shell word (the same in bash, zsh and fish).
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string fishQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    return out + "'";
}

std::string pathText(const CommandEntry& command) {
    std::string path;
    for (const std::string& word : command.path) {
        path += (path.empty() ? "" : " ") + word;
    }
    return path;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

// A command's options and the tool's own, which the parser takes after
// any command; a name the command has itself is the command's.
std::vector<OptionEntry> reachableOptions(const std::vector<CommandEntry>& table,
                                          const CommandEntry& command) {
    std::vector<OptionEntry> options = command.options;
    std::set<std::string> taken;
    for (const OptionEntry& option : options) {
        taken.insert(option.names.begin(), option.names.end());
    }
    for (const OptionEntry& option :
         command.path.empty() ? std::vector<OptionEntry>{} : table.front().options) {
        bool free =
            std::none_of(option.names.begin(), option.names.end(),
                         [&taken](const std::string& name) { return taken.count(name) != 0; });
        if (free && !option.positional) {
            options.push_back(option);
        }
    }
    return options;
}

std::vector<std::string> optionNames(const std::vector<OptionEntry>& options, bool valuesOnly) {
    std::vector<std::string> names;
    for (const OptionEntry& option : options) {
        if (!option.positional && (!valuesOnly || !option.value.empty())) {
            names.insert(names.end(), option.names.begin(), option.names.end());
        }
    }
    return names;
}

// A shell function `name PATH` answering, per command path, with `answer`
// of its entry; in the syntax of sh (bash, zsh) or of fish.
void writeTableFunction(const std::vector<CommandEntry>& table, const std::string& name, bool fish,
                        const std::function<std::string(const CommandEntry&)>& answer,
                        std::ostream& out) {
    out << (fish ? fmt::format("function {}\n    switch \"$argv[1]\"\n", name)
                 : fmt::format("{}() {{\n    case \"$1\" in\n", name));
    for (const CommandEntry& command : table) {
        std::string body = answer(command);
        if (!body.empty()) {
            out << (fish ? fmt::format("        case {}\n            {}\n",
                                       quoted(pathText(command)), body)
                         : fmt::format("        {}) {} ;;\n", quoted(pathText(command)), body));
        }
    }
    out << (fish ? "        case '*'\n            return 1\n    end\nend\n\n"
                 : "        *) return 1 ;;\n    esac\n}\n\n");
}

// The table functions every script shares: `_lifelog_subcommands PATH`
// and `_lifelog_options PATH` print words, `_lifelog_takes_value PATH
// OPTION` succeeds for an option followed by its value.
void writeTable(const std::vector<CommandEntry>& table, bool fish, std::ostream& out) {
    writeTableFunction(
        table, "_lifelog_subcommands", fish,
        [](const CommandEntry& command) {
            return command.subcommands.empty() ? "" : "echo " + quoted(joined(command.subcommands));
        },
        out);
    writeTableFunction(
        table, "_lifelog_options", fish,
        [&table](const CommandEntry& command) {
            return "echo " + quoted(joined(optionNames(reachableOptions(table, command), false)));
        },
        out);
    writeTableFunction(
        table, "_lifelog_takes_value", fish,
        [&table, fish](const CommandEntry& command) {
            std::vector<std::string> names = optionNames(reachableOptions(table, command), true);
            if (names.empty()) {
                return std::string();
            }
            std::string words = quoted(" " + joined(names) + " ");
            return fish ? fmt::format("string match -q -- \"* $argv[2] *\" {}", words)
                        : fmt::format("[[ {} == *\" $2 \"* ]]", words);
        },
        out);
}

constexpr const char* kShWalk =
    R"sh(# Sets _lifelog_path to the command the words before the cursor name, and
# _lifelog_value when the word at the cursor is an option's value.
_lifelog_walk() {
    local word skip=0
    _lifelog_path=""
    _lifelog_value=0
    for word in "$@"; do
        if [[ $skip == 1 ]]; then
            skip=0
        elif [[ $word == -*=* ]]; then
            :
        elif [[ $word == -* ]]; then
            if _lifelog_takes_value "$_lifelog_path" "$word"; then
                skip=1
            fi
        elif [[ " $(_lifelog_subcommands "$_lifelog_path") " == *" $word "* ]]; then
            _lifelog_path="${_lifelog_path:+$_lifelog_path }$word"
        fi
    done
    _lifelog_value=$skip
}

)sh";

void writeBash(const std::vector<CommandEntry>& table, std::ostream& out) {
    out << "# bash completion for lifelog, made by `lifelog completion bash`.\n\n";
    writeTable(table, false, out);
    out << kShWalk << R"sh(_lifelog() {
    local cur=${COMP_WORDS[COMP_CWORD]} words
    _lifelog_walk "${COMP_WORDS[@]:1:COMP_CWORD-1}"
    if [[ $_lifelog_value == 1 ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    elif [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_lifelog_options "$_lifelog_path")" -- "$cur")
    elif words=$(_lifelog_subcommands "$_lifelog_path"); then
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -o filenames -F _lifelog lifelog
)sh";
}

// zsh shows each candidate with its description: NAME:DESCRIPTION pairs
// per command, for _describe.
// Appends " 'word:description'" (built by appending: GCC 12 warns wrongly about
// a prefix added to a temporary string when optimising fully).
void appendWord(std::string& pairs, const std::string& word, const std::string& description) {
    const std::string pair = fmt::format("{}:{}", word, description);
    pairs += ' ';
    pairs += quoted(pair);
}

void writeZshDescriptions(const std::vector<CommandEntry>& table, std::ostream& out) {
    writeTableFunction(
        table, "_lifelog_described_subcommands", false,
        [](const CommandEntry& command) {
            std::string pairs;
            for (std::size_t i = 0; i < command.subcommands.size(); ++i) {
                appendWord(pairs, command.subcommands[i], command.subcommandDescriptions[i]);
            }
            return pairs.empty() ? std::string() : "reply=(" + pairs + " )";
        },
        out);
    writeTableFunction(
        table, "_lifelog_described_options", false,
        [&table](const CommandEntry& command) {
            std::string pairs;
            for (const OptionEntry& option : reachableOptions(table, command)) {
                for (const std::string& name :
                     option.positional ? std::vector<std::string>{} : option.names) {
                    appendWord(pairs, name, option.description);
                }
            }
            return "reply=(" + pairs + " )";
        },
        out);
}

void writeZsh(const std::vector<CommandEntry>& table, std::ostream& out) {
    out << "#compdef lifelog\n# zsh completion for lifelog, made by `lifelog completion zsh`.\n\n";
    writeTable(table, false, out);
    writeZshDescriptions(table, out);
    out << kShWalk << R"sh(_lifelog() {
    local -a reply candidates
    _lifelog_walk "${(@)words[2,CURRENT-1]}"
    if [[ $_lifelog_value == 1 ]]; then
        _files
    elif [[ $PREFIX == -* ]]; then
        _lifelog_described_options "$_lifelog_path"; candidates=("${reply[@]}")
        _describe -t options option candidates
    elif _lifelog_described_subcommands "$_lifelog_path"; then
        candidates=("${reply[@]}")
        _describe -t commands command candidates
    else
        _files
    fi
}

if [[ $zsh_eval_context[-1] == loadautofunc ]]; then
    _lifelog "$@"
else
    compdef _lifelog lifelog
fi
)sh";
}

// fish: one `complete` line per subcommand and option, each under the
// condition that the command line is at its command.
void writeFishCommand(const std::vector<CommandEntry>& table, const CommandEntry& command,
                      std::ostream& out) {
    std::string at = fmt::format("-n {}", fishQuoted("__lifelog_at " + quoted(pathText(command))));
    if (!command.subcommands.empty()) {
        out << fmt::format("complete -c lifelog {} -f\n", at);
    }
    for (std::size_t i = 0; i < command.subcommands.size(); ++i) {
        out << fmt::format("complete -c lifelog {} -a {} -d {}\n", at,
                           fishQuoted(command.subcommands[i]),
                           fishQuoted(command.subcommandDescriptions[i]));
    }
    for (const OptionEntry& option : reachableOptions(table, command)) {
        std::string flags;
        for (const std::string& name :
             option.positional ? std::vector<std::string>{} : option.names) {
            flags += name.rfind("--", 0) == 0 ? " -l " + name.substr(2) : " -s " + name.substr(1);
        }
        if (!flags.empty()) {
            out << fmt::format("complete -c lifelog {} {}{} -d {}\n", at, flags.substr(1),
                               option.value.empty() ? "" : " -r", fishQuoted(option.description));
        }
    }
}

constexpr const char* kFishWalk =
    R"sh(# Succeeds when the words before the cursor name the command PATH.
function __lifelog_at
    set -l path ''
    set -l skip 0
    for word in (commandline -opc)[2..-1]
        if test $skip = 1
            set skip 0
        else if string match -q -- '-*=*' $word
        else if string match -q -- '-*' $word
            if _lifelog_takes_value "$path" $word
                set skip 1
            end
        else if contains -- $word (string split ' ' -- (_lifelog_subcommands "$path"))
            set path (string trim -- "$path $word")
        end
    end
    test $skip = 0; and test "$path" = "$argv[1]"
end

)sh";

void writeFish(const std::vector<CommandEntry>& table, std::ostream& out) {
    out << "# fish completion for lifelog, made by `lifelog completion fish`.\n\n";
    writeTable(table, true, out);
    out << kFishWalk;
    for (const CommandEntry& command : table) {
        writeFishCommand(table, command, out);
    }
}

}  // namespace

bool writeCompletion(const std::vector<CommandEntry>& table, const std::string& shell,
                     std::ostream& out) {
    static const std::map<std::string, void (*)(const std::vector<CommandEntry>&, std::ostream&)>
        writers{{"bash", writeBash}, {"zsh", writeZsh}, {"fish", writeFish}};
    auto writer = writers.find(shell);
    if (writer == writers.end()) {
        return false;
    }
    writer->second(table, out);
    return true;
}

}  // namespace lifelog_tool
