#include "Help.h"

#include <algorithm>

namespace {

constexpr size_t MIN_WIDTH = 40;

// "  NAME VALUE   help wrapped under itself" rows, the help in one column.
std::string Rows(const std::vector<OptionEntry>& rows, size_t width) {
    size_t column = 0;
    for (const OptionEntry& row : rows) {
        column =
            std::max(column, row.names.size() + (row.value.empty() ? 0 : row.value.size() + 1));
    }
    column = std::min<size_t>(column + 4, width / 2);
    std::string text;
    for (const OptionEntry& row : rows) {
        std::string head = "  " + row.names + (row.value.empty() ? "" : " " + row.value);
        if (head.size() + 2 > column) {
            text += head + "\n" + std::string(column, ' ');
        } else {
            text += head + std::string(column - head.size(), ' ');
        }
        text += Wrapped(row.help, width - column, column) + "\n";
    }
    return text;
}

std::string Paragraph(const std::string& text, size_t width) {
    return Wrapped(text, width, 0) + "\n";
}

// The general options that apply to a command.
std::vector<OptionEntry> OptionsOf(const CommandEntry& command) {
    std::vector<OptionEntry> options = command.options;
    for (const OptionEntry& option : GeneralOptions()) {
        const bool port = option.names == "-p, --port";
        const bool fast = option.names == "--fast" || option.names == "--fixed-timing";
        if ((port && !command.port) || (fast && !command.fast) || option.names == "--version") {
            continue;
        }
        options.push_back(option);
    }
    return options;
}

size_t Columns(int width) {
    return std::max(MIN_WIDTH, static_cast<size_t>(std::max(width, 0)));
}

} // namespace

std::string Wrapped(const std::string& text, size_t width, size_t indent) {
    std::string out;
    size_t column = 0;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) {
            continue;
        }
        if (column > 0 && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = 0;
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

std::string GeneralHelp(int width) {
    const size_t columns = Columns(width);
    std::string text = Paragraph("lumaret-cli backs up, restores, checks and drives infrared "
                                 "learning modules on serial ports, on one port or on several at "
                                 "once.",
                                 columns);
    text += "\nUsage: lumaret-cli [-p PORT] [--json] [--fixed-timing] COMMAND [ARGUMENTS]\n"
            "       lumaret-cli help [COMMAND]\n\nCommands:\n";
    std::vector<OptionEntry> commands;
    for (const CommandEntry& command : CommandTable()) {
        commands.push_back({command.name, "", command.summary});
    }
    text += Rows(commands, columns);
    text += "\nOptions:\n" + Rows(GeneralOptions(), columns);
    text += "\n" + Paragraph("Results go to standard output; failed outcomes, diagnoses and "
                             "progress to standard error. Exit status: 0 success, 1 the module "
                             "answered but the outcome is not a success (also a difference), "
                             "2 usage error or a file that cannot be read or written, 3 a port "
                             "that cannot be opened, 4 no reply, 130 interrupted; with several "
                             "ports the highest.",
                             columns);
    text += "\nExamples:\n  lumaret-cli -p COM9 export backup.txt\n"
            "  lumaret-cli help export   (a command's arguments, options and example)\n";
    return text;
}

std::string CommandHelp(const CommandEntry& command, int width) {
    const size_t columns = Columns(width);
    std::string text;
    for (size_t i = 0; i < command.usages.size(); ++i) {
        text +=
            std::string(i == 0 ? "Usage: " : "       ") + "lumaret-cli " + command.usages[i] + "\n";
    }
    std::string summary = command.summary;
    summary.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(summary.front())));
    text += "\n" + Paragraph(summary + ". " + command.details, columns);
    if (!command.arguments.empty()) {
        text += "\nArguments:\n" + Rows(command.arguments, columns);
    }
    text += "\nOptions:\n" + Rows(OptionsOf(command), columns);
    text += "\nExample:\n  " + command.example + "\n";
    return text;
}
