// The install script's commands, in the order the keyword table registers
// them, with each one's handler (commands.h) and the arguments it reads.
// The engine's table and the maker's packer both expand this one list:
//
//   #define ENTRY(keyword, handler) ...
//   SCRIPT_KEYWORDS(ENTRY)
//
// Keywords are matched by length and quick CRC, so the case of letters does
// not matter; no two of these share both.
#pragma once

#define SCRIPT_KEYWORD_COUNT 30

// clang-format off
#define SCRIPT_KEYWORDS(ENTRY)                                                                     \
    ENTRY("COMPANY NAME", cmd_company_name)       /* name */                                       \
    ENTRY("PRODUCT NAME", cmd_product_name)       /* name */                                       \
    ENTRY("PRODUCT VERSION", cmd_product_version) /* version text */                               \
    ENTRY("TEXT", cmd_text)                       /* text */                                       \
    ENTRY("BRAND LIST", cmd_skip_line)            /* rest of the line, ignored */                  \
    ENTRY("FILE LIST", cmd_file_list)             /* names separated by ',' */                     \
    ENTRY("GRADIENT START", cmd_skip_line)        /* ignored */                                    \
    ENTRY("GRADIENT END", cmd_skip_line)          /* ignored */                                    \
    ENTRY("FONT", cmd_skip_line)                  /* ignored */                                    \
    ENTRY("STRING", cmd_skip_line)                /* ignored */                                    \
    ENTRY("REFRESH", cmd_skip_line)               /* ignored */                                    \
    ENTRY("CREATE GROUP", cmd_create_group)       /* group name */                                 \
    ENTRY("ADD ITEM", cmd_add_item)               /* number, target, arguments, item name */       \
    ENTRY("EXECUTE", cmd_skip_line)               /* ignored */                                    \
    ENTRY("OLE", cmd_ole)                         /* verb, file */                                 \
    ENTRY("AGREEMENT", cmd_skip_line)             /* ignored */                                    \
    ENTRY("MESSAGE", cmd_skip_line)               /* ignored */                                    \
    ENTRY("LISTSERVER", cmd_list_server)          /* number, name, text */                         \
    ENTRY("REGISTER", cmd_register)               /* three texts */                                \
    ENTRY("BREAK", cmd_skip_line)                 /* ignored */                                    \
    ENTRY("UPDATE URL", cmd_update_url)           /* URL */                                        \
    ENTRY("INSTALL", cmd_install)                 /* none */                                       \
    ENTRY("DONE", cmd_done)                       /* one text */                                   \
    ENTRY("REGISTRY PATH", cmd_registry_path)     /* key path under the current user */            \
    ENTRY("INSTALL SIZE", cmd_install_size)       /* number */                                     \
    ENTRY("INSTALL DIR", cmd_install_dir)         /* folder below Program Files */                 \
    ENTRY("INSTALL PATH", cmd_install_path)       /* text */                                       \
    ENTRY("INSTALL NAME", cmd_install_name)       /* file name */                                  \
    ENTRY("UNINSTALL NAME", cmd_uninstall_name)   /* file name */                                  \
    ENTRY("UPDATE KEY", cmd_update_key)           /* the maker's public key, hexadecimal */
// clang-format on
