// makerd's commands; each takes the arguments after its name and returns the
// exit status (args.h).
#pragma once

int serve_main(int count, char** arguments);
int publish_main(int count, char** arguments);
int export_main(int count, char** arguments);
int user_main(int count, char** arguments);
