// TAccountService with a real file: verdicts and job results come back as steps run by the
// main thread (this test's), failures of a job reach its error step, the main thread's reads
// see the workers' writes, and Stop drops the queued logins (their serials returned) and every
// step not yet run.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "accounts/AccountService.h"
#include "tests/support/DelayedHasher.h"
#include "tests/support/GateHasher.h"
#include "tests/support/PollUntil.h"
#include "tests/support/TempDir.h"

namespace zq {
namespace {

class AccountServiceTest : public testing::Test {
 protected:
  std::unique_ptr<TAccountService> Make(TAuthMode mode) {
    TAccountServiceOptions options;
    options.Path = dir_.Path() + "/zqosrv.db";
    options.Mode = mode;
    options.Hasher = hasher_;
    return std::make_unique<TAccountService>(main_, options, [this](TLoginVerdict verdict) {
      EXPECT_TRUE(main_.IsMainThread());
      verdicts_.push_back(std::move(verdict));
    });
  }
  bool Serve(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    main_.ServeUntil([&] { return done() || std::chrono::steady_clock::now() > until; });
    return done();
  }

  test::TempDir dir_;
  TMainThreadQueue main_;
  std::shared_ptr<TPasswordHasher> hasher_ = std::make_shared<test::DelayedHasher>();
  std::vector<TLoginVerdict> verdicts_;
};

TEST_F(AccountServiceTest, VerdictsAndJobResultsRunOnTheMainThread) {
  auto service = Make(TAuthMode::Claim);
  ASSERT_TRUE(service->SubmitLogin({"Amy", "pw", "192.0.2.1", 7}));
  ASSERT_TRUE(service->SubmitLogin({"amy", "bad", "192.0.2.2", 8}));
  ASSERT_TRUE(Serve([&] { return verdicts_.size() == 2; }));
  EXPECT_EQ(verdicts_[0].Serial, 7u);
  EXPECT_TRUE(verdicts_[0].Accepted());
  EXPECT_EQ(verdicts_[1].Serial, 8u);
  EXPECT_EQ(verdicts_[1].Outcome, TLoginOutcome::WrongNameOrPassword);
  // The main thread's own connection sees what the worker wrote.
  EXPECT_EQ(service->Reads().Find("AMY")->PasswordHash, "plain:pw");

  std::thread::id ranOn;
  bool stepRan = false;
  std::string error;
  service->Run([&](TAccountStore& store) {
    ranOn = std::this_thread::get_id();
    store.AddPlayTime("Amy", 5);
    return std::function<void()>([&] { stepRan = main_.IsMainThread(); });
  });
  service->Run(
      [](TAccountStore& store) -> std::function<void()> {
        TAccount nameless;
        store.Add(nameless);  // an invalid name raises
        return {};
      },
      [&](const std::string& text) { error = text; });
  ASSERT_TRUE(Serve([&] { return stepRan && !error.empty(); }));
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_NE(error.find("Invalid account name"), std::string::npos) << error;
  EXPECT_EQ(service->Reads().Find("amy")->PlaySeconds, 5);
}

TEST_F(AccountServiceTest, StopDropsQueuedLoginsAndEveryStepNotYetRun) {
  auto gate = std::make_shared<test::GateHasher>();
  hasher_ = gate;
  auto service = Make(TAuthMode::Claim);
  for (uint64_t serial = 1; serial <= 4; ++serial)
    ASSERT_TRUE(service->SubmitLogin({"P" + std::to_string(serial), "pw", "192.0.2.1", serial}));
  bool jobRan = false, stepRan = false;
  service->Run([&](TAccountStore&) {
    jobRan = true;
    return std::function<void()>([&] { stepRan = true; });
  });
  ASSERT_TRUE(gate->WaitEntered(1));  // the first is being checked, held there
  // Stop waits for the check in hand: it runs on another thread, and the gate opens once the
  // queue is emptied (only Stop empties it while the worker is held).
  std::vector<uint64_t> dropped;
  std::thread stopper([&] { dropped = service->Stop(); });
  EXPECT_TRUE(test::PollUntil([&] { return service->QueuedLogins() == 0; }));
  gate->Open();
  stopper.join();
  EXPECT_EQ(dropped, (std::vector<uint64_t>{2, 3, 4}));
  EXPECT_TRUE(jobRan);  // queued jobs run before the thread ends
  EXPECT_FALSE(service->SubmitLogin({"Late", "pw", "192.0.2.1", 9}));
  main_.ServePending();
  EXPECT_TRUE(verdicts_.empty());  // the first one's verdict was posted, and is dropped
  EXPECT_FALSE(stepRan);
  EXPECT_TRUE(service->Stop().empty());
  EXPECT_TRUE(service->Reads().Find("P1")) << "the check in hand was finished";
}

}  // namespace
}  // namespace zq
