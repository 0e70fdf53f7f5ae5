#pragma once
// The command tree as data: every command with its about text and every
// argument with its form, kind, default and help. command_tree.cpp turns these
// tables into the parser's declarations.

#include <vector>

namespace kestrel::cli {

enum class ArgKind {
    Text,     // UTF-8 text, passed verbatim
    Path,     // a file-system path given as text
    Flag,     // true when present; takes no value
    Port,     // unsigned 16-bit number
    Seconds,  // unsigned whole number of seconds
};

struct CommandSpec {
    const char* path;   // "list", or "scrape navigate" for a member of a group
    const char* about;  // one-line description for listings and help
};

struct ArgSpec {
    const char* command;        // the command's path
    const char* id;             // field name in the command's argument struct
    const char* form;           // "<MPN>", "--mpn <MPN>" or "--repair"
    ArgKind kind;
    bool required;
    const char* default_value;  // nullptr: no default (absent when not given)
    const char* help;           // nullptr: no help text
};

const std::vector<CommandSpec>& command_specs();
const std::vector<ArgSpec>& arg_specs();

}  // namespace kestrel::cli
