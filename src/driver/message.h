// The program's message boxes; both have no owner window. With "-Quiet" no
// box is shown: the caption and text are logged instead.
#pragma once

// OK box; a null caption gives "Uninstall problem...". Returns 1.
int message_notify(const char* text, const char* caption);

// Yes/No question; a null caption gives "Uninstall...". Returns 0 only for
// No; with "-Quiet" the answer is Yes.
int message_confirm(const char* text, const char* caption);
