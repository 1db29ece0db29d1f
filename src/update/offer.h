// The new-version dialog and the offer it keeps for the update driver.
#pragma once

#include <windows.h>

#include "update/update_info.h"

struct InstallState;

// Program-wide: the references live while the dialog runs; the copies are
// read by the driver after it has ended.
struct UpdateOffer {
    InstallState* state;
    const char* new_version; // the record's version, shortened to digits and dots
    const char* page_url;
    char download_url[UPDATE_URL_SIZE];
    char signature[UPDATE_URL_SIZE];  // of the file behind download_url; empty without one
    char saved_path[UPDATE_URL_SIZE]; // set by update_download
    int download_requested;           // 1 when the dialog ended with the download button
};

UpdateOffer* update_offer_values();

// Keeps the offer and runs dialog 101 modally; with "-Quiet" the download is
// requested without it. Returns 1.
int update_offer(HINSTANCE instance, HWND owner, InstallState* state, const UpdateRecord* record);
INT_PTR CALLBACK update_offer_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// 1 when the control was handled.
int update_offer_command(HWND dialog, int control);
