/* Every dialog template and control ID of the executable, in one place: read
   by the resource script and by the code that drives the dialogs. */
#pragma once

/* The "Please wait..." progress window and its bar. */
#define IDD_PROGRESS 117
#define IDC_PROGRESS_BAR 1012

/* The electronic update's new-version dialog. */
#define IDD_UPDATE_OFFER 101
#define IDC_UPDATE_OFFER_LINE1 1024
#define IDC_UPDATE_OFFER_WEBPAGE 1025
#define IDC_UPDATE_OFFER_DOWNLOAD 1026
#define IDC_UPDATE_OFFER_LINE2 1028

/* The registration form and its controls. */
#define IDD_REGISTRATION 1004
#define IDC_REG_FIRST_NAME 1014
#define IDC_REG_EMAIL 1015
#define IDC_REG_LAST_NAME 1016
#define IDC_REG_ADDRESS 1017
#define IDC_REG_CITY 1018
#define IDC_REG_STATE 1019
#define IDC_REG_ZIP 1020
#define IDC_REG_REFERRAL 1021
#define IDC_REG_PHONE 1022
#define IDC_REG_COUNTRY 1023
#define IDC_UPDATES_NO 1026
#define IDC_UPDATES_YES 1027
#define IDC_UPDATES_ALREADY 1028

/* The e-mail verification and its one edit box. */
#define IDD_EMAIL_VERIFY 1006
#define IDC_VERIFY_EMAIL 1025
