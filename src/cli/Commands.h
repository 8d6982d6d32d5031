#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

// kovra-cli: each command is a function over the program folder and its arguments.
namespace kovra::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitRefused = 1; // a write was refused or failed; the file is as it was
inline constexpr int ExitUsage = 2;   // bad usage, or a folder that cannot be read

struct Context
{
    QString root; // the program folder, absolute
    QTextStream& out;
    QTextStream& err;

    // One line "kovra-cli: message" on stderr; returns code.
    int fail(int code, const QString& message) const;
    // FILE arguments as text: relative to the program folder, absolute as given (cmd_ini checks where they lead).
    QString filePath(const QString& file) const;
};

using CommandFunction = int (*)(const Context& context, const QStringList& args);

struct Command
{
    const char16_t* name;
    const char16_t* usage; // what follows the name, one alternative per line
    CommandFunction run;
};

int listCommand(const Context& context, const QStringList& args);
int iniCommand(const Context& context, const QStringList& args);
int searchCommand(const Context& context, const QStringList& args);
int checkCommand(const Context& context, const QStringList& args);

// Every command; adding one is a line here.
inline constexpr Command Commands[] = {
    {u"list", u"", listCommand},
    {u"ini",
     u"get [--outside] FILE SECTION KEY [--default TEXT] [--size N]\n"
     u"set [--outside] FILE SECTION KEY VALUE\n"
     u"remove-section [--outside] FILE SECTION",
     iniCommand},
    {u"search", u"TEXT", searchCommand},
    {u"check", u"[--merge]", checkCommand},
};

// "kovra-cli [--root DIR] NAME USAGE" for each alternative of the named command (all when empty).
QStringList usageLines(QStringView name = {});

} // namespace kovra::cli
