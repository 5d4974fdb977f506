#include "platform/worker_thread.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(WorkerThreadTest, WorkRunsOnASmallStackWithTheTerminationSignalsBlocked) {
  sigset_t before;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &before), 0);
  const pthread_t starter = pthread_self();
  bool other_thread = false;
  size_t stack_bytes = 0;
  sigset_t blocked;
  sigemptyset(&blocked);
  {
    const WorkerThread worker([&] {
      // Late, so that the destructor has to wait for it.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      other_thread = pthread_equal(pthread_self(), starter) == 0;
      pthread_attr_t attributes;
      pthread_getattr_np(pthread_self(), &attributes);
      pthread_attr_getstacksize(&attributes, &stack_bytes);
      pthread_attr_destroy(&attributes);
      pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    });
  }
  EXPECT_TRUE(other_thread);
#ifndef __SANITIZE_THREAD__  // ThreadSanitizer enlarges every thread's stack
  EXPECT_EQ(stack_bytes, WorkerThread::kStackBytes);
#endif
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGXCPU}) {
    EXPECT_EQ(sigismember(&blocked, signal_number), 1) << signal_number;
  }
  EXPECT_EQ(sigismember(&blocked, SIGUSR1), sigismember(&before, SIGUSR1));
  sigset_t after;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &after), 0);
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGXCPU, SIGUSR1}) {
    EXPECT_EQ(sigismember(&after, signal_number), sigismember(&before, signal_number))
        << signal_number;
  }
}

}  // namespace
}  // namespace ostrel
