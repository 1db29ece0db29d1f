// makerd: the maker's server, and the commands that publish releases, read
// the registrations it stored and keep the accounts of its console. Exit
// codes: 0 done, 1 failed (the reason on standard error), 2 a wrong command
// line (with the usage).
#include "args.h"
#include "commands.h"

namespace {

const ArgsTool g_makerd = {
    "makerd",
    "1.0",
    {{"serve",
      "  makerd serve --db FILE --listen HOST:PORT --store DIR --public-url URL\n"
      "      The web server: registrations, update information, downloads, console.\n",
      serve_main},
     {"publish",
      "  makerd publish --db FILE --store DIR --company C --product P --version V\n"
      "                 --page URL --file PATH [--key maker.key]\n"
      "      Stores an installer and records its release for the update information.\n",
      publish_main},
     {"export",
      "  makerd export --db FILE [--format csv|json]\n"
      "      Prints every stored registration.\n",
      export_main},
     {"user",
      "  makerd user add|remove NAME --db FILE    makerd user list --db FILE\n"
      "      The accounts of the web console that serve opens under /console/.\n",
      user_main}},
    "  FILE is a SQLite file, or a PostgreSQL database that several servers share:\n"
    "  postgresql://USER@HOST:PORT/NAME (README, \"The maker's server\").\n",
    nullptr};

} // namespace

int main(int argc, char** argv) {
    return args_main(g_makerd, argc, argv);
}
