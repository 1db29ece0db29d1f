#include "keyword_table.h"

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/commands.h"
#include "script/keyword_list.h"

namespace {

KeywordEntry* g_keywords = nullptr;

const KeywordEntry* find(const char* keyword) {
    int length = text_length(keyword);
    unsigned crc = 0;
    quick_crc(keyword, &crc);
    for (const KeywordEntry* entry = g_keywords; entry; entry = entry->next) {
        if (length > entry->length) {
            return nullptr; // every later entry is shorter still
        }
        if (length == entry->length && crc == entry->crc) {
            return entry;
        }
    }
    return nullptr;
}

} // namespace

int keyword_table_build() {
    static const struct {
        const char* keyword;
        CommandHandler handler;
    } commands[] = {
#define KEYWORD_ENTRY(keyword, handler) {keyword, handler},
        SCRIPT_KEYWORDS(KEYWORD_ENTRY)
#undef KEYWORD_ENTRY
    };
    for (const auto& command : commands) {
        keyword_add(command.keyword, command.handler);
    }
    return 1;
}

int keyword_add(const char* keyword, CommandHandler handler) {
    CORE_ASSERT_POINTER(keyword);
    CORE_ASSERT_POINTER(reinterpret_cast<const void*>(handler));
    int length = text_length(keyword);
    if (length >= KEYWORD_SIZE) {
        CORE_ABORT("Command keyword too long (%s) (%d > %d)\n", keyword, length, KEYWORD_SIZE);
    }
    KeywordEntry* added = static_cast<KeywordEntry*>(MEM_ALLOC(sizeof(KeywordEntry)));
    added->length = length;
    added->handler = handler;
    text_copy(added->keyword, sizeof added->keyword, keyword);
    quick_crc(added->keyword, &added->crc);

    for (const KeywordEntry* entry = g_keywords; entry; entry = entry->next) {
        if (entry->crc == added->crc) {
            log_printf("Matching quick CRC's (%s) and (%s)\n", entry->keyword, added->keyword);
            if (entry->length == length) {
                CORE_ABORT("Matching lengths failure (%d)\n", length);
            }
        }
    }

    KeywordEntry** link = &g_keywords;
    while (*link && (*link)->length > length) {
        link = &(*link)->next;
    }
    added->next = *link;
    *link = added;
    return 1;
}

int keyword_known(const char* keyword) {
    CORE_ASSERT_POINTER(keyword);
    return find(keyword) != nullptr;
}

int keyword_dispatch(const char* keyword, InstallState* state, const char* arguments,
                     int* consumed) {
    CORE_ASSERT_POINTER(keyword);
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(arguments);
    CORE_ASSERT_POINTER(consumed);
    *consumed = 0;
    const KeywordEntry* entry = find(keyword);
    return entry ? entry->handler(state, arguments, consumed) : 0;
}

int keyword_table_free() {
    while (g_keywords) {
        KeywordEntry* next = g_keywords->next;
        MEM_RETURN(g_keywords, static_cast<int>(sizeof(KeywordEntry)));
        g_keywords = next;
    }
    return 1;
}
