// makerd: the maker's server, and the commands that publish releases, read
// the registrations it stored and keep the accounts of its console. Exit
// codes: 0 done, 1 failed (the reason on standard error), 2 a wrong command
// line (with the usage).
#include <cstdio>
#include <cstring>

#include "args.h"
#include "commands.h"

namespace {

const char g_usage[] =
    "Usage: makerd COMMAND [OPTIONS]    (makerd COMMAND --help tells more)\n"
    "  makerd serve --db FILE --listen HOST:PORT --store DIR --public-url URL\n"
    "      The web server: registrations, update information, downloads, console.\n"
    "  makerd publish --db FILE --store DIR --company C --product P --version V\n"
    "                 --page URL --file PATH [--key maker.key]\n"
    "      Stores an installer and records its release for the update information.\n"
    "  makerd export --db FILE [--format csv|json]\n"
    "      Prints every stored registration.\n"
    "  makerd user add|remove NAME --db FILE    makerd user list --db FILE\n"
    "      The accounts of the web console that serve opens under /console/.\n"
    "  FILE is a SQLite file, or a PostgreSQL database that several servers share:\n"
    "  postgresql://USER@HOST:PORT/NAME (README, \"The maker's server\").\n";

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(g_usage, stdout);
        return ARGS_EXIT_DONE;
    }
    const struct {
        const char* name;
        int (*run)(int, char**);
    } commands[] = {{"serve", serve_main},
                    {"publish", publish_main},
                    {"export", export_main},
                    {"user", user_main}};
    for (const auto& command : commands) {
        if (argc >= 2 && strcmp(argv[1], command.name) == 0) {
            return command.run(argc - 2, argv + 2);
        }
    }
    return args_usage_error(
        argc < 2 ? "no command given" : "unknown command '" + std::string(argv[1]) + "'", g_usage);
}
