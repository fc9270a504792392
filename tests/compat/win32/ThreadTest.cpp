// Thread start, waits on threads and thread-local indices: results and last-error codes.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <utility>

#include "Win32Expect.h"
#include "compat/win32/Message.h"
#include "compat/win32/Process.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Thread.h"

namespace {

struct Gate {
  std::atomic<bool> open = false;
  std::atomic<DWORD> ranOn = 0;
};

unsigned WINAPI WaitAtGate(void* raw) {
  auto& gate = *static_cast<Gate*>(raw);
  gate.ranOn = GetCurrentThreadId();
  while (!gate.open) std::this_thread::yield();
  return 0;
}

TEST(BeginThread, HandleIsSignalledOnceTheThreadHasEnded) {
  Gate gate;
  unsigned id = 0xcccccccc;
  const HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WaitAtGate, &gate, 0, &id));
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(id, gate.ranOn);
  gate.open = true;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_WIN32(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_FAILED), ERROR_INVALID_HANDLE);
}

TEST(BeginThread, RefusalsSetErrnoAndTheLastError) {
  // No start routine, and a suspended start (CREATE_SUSPENDED).
  const std::pair<unsigned (*)(void*), unsigned> rows[] = {{nullptr, 0}, {WaitAtGate, 4}};
  for (const auto& [start, flags] : rows) {
    SCOPED_TRACE(flags);
    Gate gate{true};
    errno = 0;
    unsigned id = 0xcccccccc;
    EXPECT_WIN32(_beginthreadex(nullptr, 0, start, &gate, flags, &id), 0u, ERROR_INVALID_PARAMETER);
    EXPECT_NE(errno, 0);
    EXPECT_EQ(id, 0xccccccccu);
  }
}

TEST(Tls, ValuesArePerThreadAndAFreedIndexIsRefused) {
  const DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int mine = 0;
  EXPECT_WIN32(TlsGetValue(index), nullptr, ERROR_SUCCESS);
  EXPECT_TRUE(TlsSetValue(index, &mine));
  std::thread([&] {
    EXPECT_WIN32(TlsGetValue(index), nullptr, ERROR_SUCCESS);
    int theirs = 0;
    EXPECT_TRUE(TlsSetValue(index, &theirs));
  }).join();
  EXPECT_WIN32(TlsGetValue(index), static_cast<void*>(&mine), ERROR_SUCCESS);
  EXPECT_TRUE(TlsFree(index));
  EXPECT_WIN32(TlsFree(index), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(TlsGetValue(TLS_OUT_OF_INDEXES), nullptr, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(TlsSetValue(TLS_OUT_OF_INDEXES, &mine), FALSE, ERROR_INVALID_PARAMETER);
}

}  // namespace

TEST(PostQuitMessage, EachThreadTakesOnlyItsOwnQuitMessageOnce) {
  int code = -7;
  EXPECT_FALSE(compat::win32::TakeQuitMessage(&code));
  PostQuitMessage(3);
  PostQuitMessage(0);  // the latest code counts
  bool otherSaw = true;
  std::thread([&otherSaw] { otherSaw = compat::win32::TakeQuitMessage(nullptr); }).join();
  EXPECT_FALSE(otherSaw);
  EXPECT_TRUE(compat::win32::TakeQuitMessage(&code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(compat::win32::TakeQuitMessage(&code));
}
