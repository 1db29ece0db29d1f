// makerd user: the accounts that may sign in to the console.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "account.h"
#include "args.h"
#include "commands.h"
#include "database.h"
#include "storage.h"

namespace {

const char g_usage[] =
    "Usage: makerd user add NAME --db FILE\n"
    "       makerd user remove NAME --db FILE\n"
    "       makerd user list --db FILE\n"
    "  The accounts that may sign in to the console (makerd serve, /console/),\n"
    "  which is served once there is one. NAME: 1 to 64 letters, digits, '.',\n"
    "  '-', '_' or '@'. add asks for the password twice on the terminal, or reads\n"
    "  one line of standard input, and keeps only its Argon2id hash. remove ends\n"
    "  the account's sessions too. list prints each name and when it was added.\n";

// One line of standard input; on a terminal, without echo.
bool user_read_line(const char* prompt, std::string* line) {
    termios saved;
    bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        fputs(prompt, stderr);
    }
    bool got = static_cast<bool>(std::getline(std::cin, *line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        fputs("\n", stderr);
    }
    if (!line->empty() && line->back() == '\r') {
        line->pop_back();
    }
    return got;
}

int user_add(Storage* db, const std::string& name) {
    std::string password, again;
    if (!user_read_line("Password: ", &password)) {
        return args_fail("no password was given");
    }
    std::string problem = account_password_problem(password);
    if (!problem.empty()) {
        return args_fail(problem);
    }
    if (isatty(STDIN_FILENO) && (!user_read_line("Again: ", &again) || again != password)) {
        return args_fail("the two passwords differ");
    }
    Account account{name, account_hash(password), database_now()};
    bool added = false;
    std::string error;
    if (account.password_hash.empty()) {
        return args_fail("cannot hash the password: out of memory");
    }
    if (!db->account_add(account, &added, &error)) {
        return args_fail(error);
    }
    return added ? ARGS_EXIT_DONE : args_fail("the account '" + name + "' exists");
}

} // namespace

int user_main(int count, char** arguments) {
    for (int i = 0; i < count; ++i) {
        if (strcmp(arguments[i], "--help") == 0 || strcmp(arguments[i], "-h") == 0) {
            fputs(g_usage, stdout);
            return ARGS_EXIT_DONE;
        }
    }
    std::string action = count > 0 ? arguments[0] : "";
    int names = action == "add" || action == "remove" ? 1 : 0;
    if (action != "list" && names == 0) {
        return args_usage_error(action.empty() ? "user takes add, remove or list"
                                               : "unknown user command '" + action + "'",
                                g_usage);
    }
    if (count < 1 + names || arguments[names][0] == '-') {
        return args_usage_error("user " + action + " needs a NAME", g_usage);
    }
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count - 1 - names, arguments + 1 + names, {{"--db", true}}, g_usage, &values,
                   &exit_code)) {
        return exit_code;
    }
    std::string name = names ? arguments[1] : "";
    if (names && !account_name_valid(name)) {
        return args_usage_error("an account name is 1 to 64 letters, digits, '.', '-', '_' or "
                                "'@', not '" +
                                    name + "'",
                                g_usage);
    }
    Database db;
    std::string error;
    if (!account_init()) {
        return args_fail("libsodium cannot start");
    }
    if (!storage_open(values["--db"], true, &db, &error)) {
        return args_fail(error);
    }
    if (action == "add") {
        return user_add(db.get(), name);
    }
    if (action == "remove") {
        bool removed = false;
        if (!db->account_remove(name, &removed, &error)) {
            return args_fail(error);
        }
        return removed ? ARGS_EXIT_DONE : args_fail("there is no account '" + name + "'");
    }
    std::vector<Account> accounts;
    if (!db->accounts(&accounts, &error)) {
        return args_fail(error);
    }
    for (const Account& account : accounts) {
        printf("%s\t%s\n", account.name.c_str(), account.created.c_str());
    }
    return ARGS_EXIT_DONE;
}
