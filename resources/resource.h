/* Every dialog template and control ID of the executable, in one place: read
   by the resource script and by the code that drives the dialogs. */
#pragma once

/* The "Please wait..." progress window and its bar. */
#define IDD_PROGRESS 117
#define IDC_PROGRESS_BAR 1012
