// The socket layer's Windows Sockets 1.1 calls.
#include <winsock.h>

#include <cstdint>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "net/socket.h"

#ifndef _WIN64
static_assert(sizeof(SocketSet) == sizeof(fd_set), "SocketSet must be laid out as fd_set");
static_assert(sizeof(SOCKET) == sizeof(unsigned), "socket handles are 32 bits wide");
#endif

namespace {

WSADATA g_library;

const WORD g_wanted_version = 0x0101;

struct ProtocolRow {
    int code;
    int type;
    int number;
};

// Every code but TCP asks for a datagram socket, whatever its protocol number.
const ProtocolRow g_protocols[] = {
    {1, SOCK_STREAM, IPPROTO_TCP},
    {2, SOCK_DGRAM, IPPROTO_UDP},
    {3, SOCK_DGRAM, 3},
    {4, SOCK_DGRAM, 1},
    {5, SOCK_DGRAM, 0},
    {10, SOCK_DGRAM, 255},
};

const ProtocolRow* find_protocol(int code) {
    for (const ProtocolRow& row : g_protocols) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

int is_open(const SocketRecord* socket) {
    return socket != nullptr && socket->handle != SOCK_NO_HANDLE;
}

#ifdef _WIN64
// The 64-bit build, which the tests run where a machine cannot run 32-bit programs: fd_set
// holds handles twice as wide, so select() works on a copy. Socket handles fit in 32 bits on
// every Windows, which is what SocketRecord keeps.
struct SelectSet {
    fd_set copy;
    SocketSet* set;
};

fd_set* as_fd_set(SocketSet* set, SelectSet* select_set) {
    select_set->set = set;
    if (set == nullptr) {
        return nullptr;
    }
    select_set->copy.fd_count = set->count;
    for (unsigned i = 0; i < set->count; ++i) {
        select_set->copy.fd_array[i] = set->handles[i];
    }
    return &select_set->copy;
}

void from_fd_set(const SelectSet* select_set) {
    if (select_set->set != nullptr) {
        select_set->set->count = select_set->copy.fd_count;
        for (unsigned i = 0; i < select_set->copy.fd_count; ++i) {
            select_set->set->handles[i] = static_cast<unsigned>(select_set->copy.fd_array[i]);
        }
    }
}
#else
struct SelectSet {};

fd_set* as_fd_set(SocketSet* set, SelectSet*) {
    return reinterpret_cast<fd_set*>(set);
}

void from_fd_set(const SelectSet*) {}
#endif

int fill_host(HostRecord* host, const hostent* entry) {
    if (entry == nullptr) {
        return 0;
    }
    char* bytes = reinterpret_cast<char*>(host);
    for (unsigned i = 0; i < sizeof *host; ++i) {
        bytes[i] = 0;
    }
    text_copy(host->name, sizeof host->name, entry->h_name ? entry->h_name : "");
    if (entry->h_addr_list && entry->h_addr_list[0]) {
        for (int i = 0; i < 4; ++i) {
            host->address[i] = static_cast<unsigned char>(entry->h_addr_list[0][i]);
        }
    }
    return 1;
}

enum { SOCK_WAIT_WRITABLE = 0, SOCK_WAIT_READABLE = 1 };

// One wait for a single socket to become readable or writable.
int wait_ready(SocketRecord* socket, int for_reading) {
    SocketSet set;
    sock_set_clear(&set);
    sock_set_add(&set, socket);
    int timeout = for_reading ? socket->receive_timeout_ms : socket->send_timeout_ms;
    int ready = 0;
    if (!sock_wait(for_reading ? &set : nullptr, for_reading ? nullptr : &set, nullptr, timeout,
                   &ready)) {
        return 0;
    }
    if (ready == 0) {
        log_printf("Socket timeout (%d)\n", timeout);
        return 0;
    }
    return sock_set_has(&set, socket);
}

// A transfer that failed may only be retried after "would block".
int transfer_result(SocketRecord* socket, int result, int* count) {
    if (result == SOCKET_ERROR) {
        return sock_error_value(socket) == SOCK_ERROR_WOULD_BLOCK;
    }
    *count = result;
    return 1;
}

} // namespace

int sock_startup() {
    if (WSAStartup(g_wanted_version, &g_library) != 0) {
        log_printf("WSAStartup failed (%s)\n", sock_error_text(nullptr));
        return 0;
    }
    if (g_library.wVersion != g_wanted_version) {
        log_printf("Wrong Winsock version (%d != %d)\n", g_library.wVersion, g_wanted_version);
        return 0;
    }
    return 1;
}

int sock_cleanup() {
    if (WSACleanup() == SOCKET_ERROR) {
        log_printf("WSACleanup failed (%s)\n", sock_error_text(nullptr));
        return 0;
    }
    return 1;
}

int sock_local_host(HostRecord* host) {
    CORE_ASSERT_POINTER(host);
    char name[SOCK_HOST_NAME_SIZE];
    if (gethostname(name, sizeof name) == SOCKET_ERROR) {
        return 0;
    }
    name[sizeof name - 1] = '\0';
    if (!sock_host_by_name(host, name)) {
        text_copy(host->name, sizeof host->name, name);
    }
    return 1;
}

int sock_host_by_name(HostRecord* host, const char* name) {
    CORE_ASSERT_POINTER(host);
    CORE_ASSERT_POINTER(name);
    return fill_host(host, gethostbyname(name));
}

int sock_host_by_address(HostRecord* host, const unsigned char address[4]) {
    CORE_ASSERT_POINTER(host);
    CORE_ASSERT_POINTER(address);
    return fill_host(host, gethostbyaddr(reinterpret_cast<const char*>(address), 4, AF_INET));
}

int sock_new(SocketRecord** socket) {
    CORE_ASSERT_POINTER(socket);
    *socket = nullptr;
    SocketRecord* record = static_cast<SocketRecord*>(MEM_ALLOC(sizeof(SocketRecord)));
    record->handle = SOCK_NO_HANDLE;
    record->receive_timeout_ms = SOCK_DEFAULT_TIMEOUT_MS;
    record->send_timeout_ms = SOCK_DEFAULT_TIMEOUT_MS;
    *socket = record;
    return 1;
}

int sock_free(SocketRecord** socket) {
    CORE_ASSERT_POINTER(socket);
    if (*socket == nullptr) {
        return 1;
    }
    sock_close(*socket);
    MEM_RETURN(*socket, static_cast<int>(sizeof(SocketRecord)));
    *socket = nullptr;
    return 1;
}

int sock_open(SocketRecord* socket, int protocol) {
    if (socket == nullptr) {
        log_printf("Socket must be created first!\n");
        return 0;
    }
    if (is_open(socket)) {
        log_printf("Socket must be closed first!\n");
        return 0;
    }
    const ProtocolRow* row = find_protocol(protocol);
    if (row == nullptr) {
        log_printf("Unknown socket protocol '%d'\n", protocol);
    } else {
        socket->handle = ::socket(AF_INET, row->type, row->number);
    }
    socket->protocol = is_open(socket) ? protocol : 0;
    return is_open(socket);
}

int sock_connect(SocketRecord* socket, const unsigned char address[4], int port) {
    CORE_ASSERT_POINTER(address);
    if (!is_open(socket)) {
        return 0;
    }
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
    for (int i = 0; i < 4; ++i) {
        reinterpret_cast<unsigned char*>(&peer.sin_addr)[i] = address[i];
    }

    sock_set_blocking(socket, SOCK_NONBLOCKING);
    if (connect(socket->handle, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        return 0;
    }

    SocketSet writable;
    SocketSet failed;
    sock_set_clear(&writable);
    sock_set_clear(&failed);
    sock_set_add(&writable, socket);
    sock_set_add(&failed, socket);
    int ready = 0;
    if (!sock_wait(nullptr, &writable, &failed, socket->send_timeout_ms, &ready)) {
        return 0;
    }
    if (ready == 0) {
        log_printf("Socket connect timeout (%d)\n", socket->send_timeout_ms);
        return 0;
    }
    if (sock_set_has(&failed, socket) || !sock_set_has(&writable, socket)) {
        return 0;
    }

    sock_set_blocking(socket, SOCK_BLOCKING);
    for (int i = 0; i < 4; ++i) {
        socket->peer_address[i] = address[i];
    }
    socket->peer_port = port;
    return 1;
}

int sock_send(SocketRecord* socket, const char* bytes, int length, int* sent) {
    CORE_ASSERT_POINTER(bytes);
    CORE_ASSERT_POINTER(sent);
    *sent = 0;
    if (!is_open(socket) || !wait_ready(socket, SOCK_WAIT_WRITABLE)) {
        return 0;
    }
    return transfer_result(socket, send(socket->handle, bytes, length, 0), sent);
}

int sock_receive(SocketRecord* socket, char* buffer, int capacity, int* received) {
    CORE_ASSERT_POINTER(buffer);
    CORE_ASSERT_POINTER(received);
    *received = 0;
    if (!is_open(socket)) {
        return 0;
    }
    // Bytes that are already waiting need no wait: a select costs about as
    // much as the receive itself, and a fast download would pay it per piece.
    u_long waiting = 0;
    if ((ioctlsocket(socket->handle, static_cast<long>(FIONREAD), &waiting) == SOCKET_ERROR ||
         waiting == 0) &&
        !wait_ready(socket, SOCK_WAIT_READABLE)) {
        return 0;
    }
    int result = recv(socket->handle, buffer, capacity, 0);
    if (result == 0) {
        return 0;
    }
    return transfer_result(socket, result, received);
}

int sock_shutdown(SocketRecord* socket) {
    if (!is_open(socket)) {
        return 0;
    }
    return shutdown(socket->handle, 2) != SOCKET_ERROR;
}

int sock_close(SocketRecord* socket) {
    if (socket == nullptr) {
        return 0;
    }
    if (!is_open(socket)) {
        return 1;
    }
    if (closesocket(socket->handle) == SOCKET_ERROR) {
        return 0;
    }
    socket->handle = SOCK_NO_HANDLE;
    return 1;
}

int sock_set_blocking(SocketRecord* socket, int blocking) {
    if (!is_open(socket)) {
        return 0;
    }
    u_long non_blocking = blocking == 1 ? 0 : 1;
    return ioctlsocket(socket->handle, static_cast<long>(FIONBIO), &non_blocking) != SOCKET_ERROR;
}

int sock_wait(SocketSet* read, SocketSet* write, SocketSet* error, int timeout_ms, int* ready) {
    CORE_ASSERT_POINTER(ready);
    *ready = 0;
    long seconds = 0;
    long microseconds = 0;
    sock_split_timeout(timeout_ms, &seconds, &microseconds);
    timeval limit;
    limit.tv_sec = seconds;
    limit.tv_usec = microseconds;
    SelectSet sets[3];
    int result = select(0, as_fd_set(read, &sets[0]), as_fd_set(write, &sets[1]),
                        as_fd_set(error, &sets[2]), &limit);
    for (const SelectSet& set : sets) {
        from_fd_set(&set);
    }
    if (result == SOCKET_ERROR) {
        return 0;
    }
    *ready = result;
    return 1;
}

int sock_set_clear(SocketSet* set) {
    CORE_ASSERT_POINTER(set);
    set->count = 0;
    for (unsigned& handle : set->handles) {
        handle = 0;
    }
    return 1;
}

int sock_set_add(SocketSet* set, const SocketRecord* socket) {
    CORE_ASSERT_POINTER(set);
    if (!is_open(socket)) {
        return 0;
    }
    for (unsigned i = 0; i < set->count; ++i) {
        if (set->handles[i] == socket->handle) {
            return 1;
        }
    }
    if (set->count < SOCK_SET_CAPACITY) {
        set->handles[set->count++] = socket->handle;
    }
    return 1;
}

int sock_set_has(SocketSet* set, const SocketRecord* socket) {
    CORE_ASSERT_POINTER(set);
    if (!is_open(socket)) {
        return 0;
    }
    SelectSet copy;
    return __WSAFDIsSet(socket->handle, as_fd_set(set, &copy)) != 0;
}

int sock_error_value(SocketRecord* socket) {
    if (is_open(socket)) {
        int value = 0;
        int size = sizeof value;
        if (getsockopt(socket->handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value),
                       &size) != SOCKET_ERROR) {
            return value;
        }
        log_printf("Failed to retrieve error value for socket (%d : 0x%.8X)\n",
                   static_cast<int>(reinterpret_cast<uintptr_t>(socket)),
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(socket)));
    }
    return WSAGetLastError();
}

const char* sock_error_text(SocketRecord* socket) {
    return sock_error_describe(sock_error_value(socket));
}
