// One attempt to post a scrambled record to the maker's registration server.
#pragma once

enum { REGISTRATION_REPLY_SIZE = 20480, REGISTRATION_AGENT_SIZE = 320 };

#define REGISTRATION_ACCEPTED_WORD "RegSuccess"

enum { REGISTRATION_DIRECT = 0, REGISTRATION_THROUGH_PROXY = 1 };

// Posts the record (`count` bytes, already scrambled) to `url`, through the
// system proxy with REGISTRATION_THROUGH_PROXY, and reads the reply until the
// server closes it. Returns 1 when the reply held the accepting word, else 0.
int registration_submit(const char* url, int use_proxy, const unsigned char* record, int count);

// 1 when the accepting word, in any letter case, lies in the first `length`
// bytes of `reply`; only the part from `searched` on (minus the word's
// length, so that a word split across two pieces is found) is new. Zero bytes
// in the reply do not hide the word.
int registration_reply_accepted(const char* reply, int searched, int length);
