// lifelog(1) in roff, from the command table: every command with its
// description, arguments and options as --help gives them, and around them
// the sections a manual page has (environment, files, exit status).
#include <fmt/format.h>
#include <sstream>

#include "describe/command_table.h"

namespace lifelog_tool {

namespace {

// Text as roff shows it literally: backslashes escaped, and no line
// starting with a control character.
std::string roffText(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        out += c == '\\' ? std::string("\\e") : std::string(1, c);
        lineStart = c == '\n';
    }
    return out;
}

// A command-line word: its hyphens are minus signs, so that it can be
// copied from the page and searched for.
std::string roffWord(const std::string& word) {
    std::string out;
    for (char c : roffText(word)) {
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return out;
}

std::string joinedPath(const CommandEntry& command) {
    std::string path = "lifelog";
    for (const std::string& word : command.path) {
        path += " " + word;
    }
    return path;
}

std::string optionHead(const OptionEntry& option) {
    std::string head;
    for (const std::string& name : option.names) {
        std::string shown =
            option.positional ? "\\fI" + roffWord(name) + "\\fR" : "\\fB" + roffWord(name) + "\\fR";
        head += (head.empty() ? "" : ", ") + shown;
    }
    if (!option.value.empty() && !option.positional) {
        head += " \\fI" + roffWord(option.value) + "\\fR";
    }
    return head;
}

void writeOptions(const std::vector<OptionEntry>& options, std::ostream& out) {
    for (const OptionEntry& option : options) {
        out << ".TP\n" << optionHead(option) << "\n" << roffText(option.description);
        out << (option.required ? " (required)\n" : "\n");
    }
}

std::string usage(const CommandEntry& command) {
    std::string line = "\\fB" + roffWord(joinedPath(command)) + "\\fR";
    bool named = false;
    for (const OptionEntry& option : command.options) {
        named = named || !option.positional;
    }
    line += named ? " [\\fIOPTIONS\\fR]" : "";
    for (const OptionEntry& option : command.options) {
        if (option.positional) {
            std::string word = "\\fI" + roffWord(option.names.front()) + "\\fR";
            line += option.required ? " " + word : " [" + word + "]";
        }
    }
    return line + (command.subcommands.empty() ? "" : " \\fICOMMAND\\fR");
}

void writeCommand(const CommandEntry& command, std::ostream& out) {
    out << ".SS \"" << roffWord(joinedPath(command)) << "\"\n";
    out << roffText(command.description) << "\n.PP\n" << usage(command) << "\n";
    if (!command.subcommands.empty()) {
        out << ".PP\nCommands:";
        for (std::size_t i = 0; i < command.subcommands.size(); ++i) {
            out << (i == 0 ? " " : ", ") << "\\fB" << roffWord(command.subcommands[i]) << "\\fR";
        }
        out << ".\n";
    }
    writeOptions(command.options, out);
}

// "lifelog: a phone's day as data.  Records ..." -> "a phone's day as data".
std::string summary(const std::string& description) {
    std::string text = description;
    const std::string prefix = "lifelog: ";
    if (text.rfind(prefix, 0) == 0) {
        text = text.substr(prefix.size());
    }
    return text.substr(0, text.find('.'));
}

void writeHead(const CommandEntry& tool, std::ostream& out) {
    std::string version = versionText();
    version = version.substr(0, version.find('\n'));
    out << ".TH LIFELOG 1 \"\" \"" << roffText(version) << "\" \"User Commands\"\n";
    out << ".SH NAME\nlifelog \\- " << roffText(summary(tool.description)) << "\n";
    out << ".SH SYNOPSIS\n" << usage(tool) << " [\\fIARGUMENTS\\fR]\n";
    out << ".SH DESCRIPTION\n" << roffText(tool.description) << "\n";
    out << ".PP\nThe options below may come before or after the command.\n";
    out << ".SH OPTIONS\n";
    writeOptions(tool.options, out);
}

constexpr const char* kTail = R"roff(.SH ENVIRONMENT
.TP
.B ZBASE_ROOT
The platform root when \fB\-\-root\fR is not given.
.TP
.B XDG_DATA_HOME
Without either, the root is \fI$XDG_DATA_HOME/zbase\fR, else \fI~/.local/share/zbase\fR.
.TP
.B ZBASE_LOG_LEVEL
How much of the platform's log reaches standard error: \fBoff\fR silences
its error lines, \fBtrace\fR (what \fB\-\-verbose\fR sets) shows everything.
.PP
The tool prints no colours.  A progress bar is drawn only when standard
error is a terminal.
.SH FILES
.TP
.I ROOT/System/Lifelog/lifelogconf.ini
which kinds are logged and how many rows each table keeps
.TP
.I ROOT/SystemRW/Lifelog/Database/lifelog.db
the lifelog database, one table per kind
.TP
.I /usr/lib/systemd/user/lifelog\-web.service
\fBlifelog web\fR as a systemd user service on 127.0.0.1:5700
.SH EXIT STATUS
0 on success.  1 when the library, the platform or a check of the tool
fails, with one line \fIlifelog: what failed\fR on standard error.  2 when
the command line is not understood (no command, an unknown command or
option, a missing or malformed argument), with a usage hint.
.SH SEE ALSO
.BR systemctl (1)
)roff";

}  // namespace

void writeManualPage(const std::vector<CommandEntry>& table, std::ostream& out) {
    writeHead(table.front(), out);
    out << ".SH COMMANDS\n";
    for (std::size_t i = 1; i < table.size(); ++i) {
        writeCommand(table[i], out);
    }
    out << kTail;
}

}  // namespace lifelog_tool
