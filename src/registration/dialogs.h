// The registration form (template 1004) and the e-mail verification (template
// 1006), both modal over `owner` and captioned with g_registration_caption.
#pragma once

#include "platform/window.h"

// Edits g_registrant. Returns 1 when the user registered and the details
// passed every check (they are then stored), 0 when the user confirmed that
// they do not want to register.
int registration_form_show(WindowHandle owner);

// Returns 1 when the address entered again matches g_registrant's, 0 on Cancel.
int email_verify_show(WindowHandle owner);
