// Starting and stopping OLE; each case runs on a fresh thread, so that it
// finds COM not yet started there.
#include <windows.h>

#include <objbase.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "driver/ole.h"
#include "support/log_file.h"

namespace {

struct Outcome {
    int started;
    HRESULT after_start; // CoInitialize once OLE was started
    HRESULT after_stop;  // CoInitialize once OLE was stopped
};

void run_on_thread(LPTHREAD_START_ROUTINE body, Outcome* outcome) {
    HANDLE thread = CreateThread(nullptr, 0, body, outcome, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

DWORD WINAPI start_and_stop(void* context) {
    Outcome* outcome = static_cast<Outcome*>(context);
    outcome->started = ole_start();
    outcome->after_start = CoInitialize(nullptr);
    CoUninitialize();
    ole_stop();
    outcome->after_stop = CoInitialize(nullptr);
    CoUninitialize();
    return 0;
}

DWORD WINAPI start_in_another_apartment(void* context) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<Outcome*>(context)->started = ole_start();
    CoUninitialize();
    return 0;
}

DWORD WINAPI start_twice(void* context) {
    CoInitialize(nullptr);
    static_cast<Outcome*>(context)->started = ole_start();
    // The failed start still counted itself.
    CoUninitialize();
    CoUninitialize();
    return 0;
}

class OleStart : public testing::Test {
  protected:
    void SetUp() override { log_path_ = open_test_log("ole_win.log", LOG_FILE); }
    void TearDown() override { log_close(); }
    std::string log() const { return read_file(log_path_); }
    std::string log_path_;
};

TEST_F(OleStart, StartsSilentlyAndStopsAgain) {
    Outcome outcome = {};
    run_on_thread(start_and_stop, &outcome);
    EXPECT_EQ(1, outcome.started);
    EXPECT_EQ(S_FALSE, outcome.after_start);
    EXPECT_EQ(S_OK, outcome.after_stop);
    EXPECT_EQ("", log());
}

TEST_F(OleStart, AnyAnswerButOkFails) {
    Outcome outcome = {};
    run_on_thread(start_in_another_apartment, &outcome);
    EXPECT_EQ(0, outcome.started);
    run_on_thread(start_twice, &outcome);
    EXPECT_EQ(0, outcome.started);
    EXPECT_EQ("CoInitialize() Failed (0x80010106)\nCoInitialize() Failed (0x00000001)\n", log());
}

} // namespace
