#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "platform/HandlerBoundary.hpp"
#include "platform/HttpClient.hpp"
#include "support/TestServer.hpp"
#include "transfer/BlockDelta.hpp"
#include "transfer/DownloadMultiThread.hpp"

namespace tarvos {
namespace {

using test::FileExists;
using test::FirstPatternMismatch;
using test::ReadFileBytes;
using test::TestServer;
using Ranges = std::multiset<std::string>;

bool AllZeros(const std::string& s) { return s.find_first_not_of('\0') == std::string::npos; }

// Intervals short enough for tests; the product keeps 500 / 20000 ms.
constexpr int kProgressMs = 20;
constexpr int kWatchdogMs = 400;

class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<TestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!server_->Available()) GTEST_SKIP() << server_->Why();
        token_ = TestServer::NewToken();
        dm_.OnProgress = [this](TDownloadMultiThread&, int64_t loaded, int64_t size) {
            progress_.emplace_back(loaded, size);
        };
    }

    std::string Url(const std::string& options) const { return server_->Url(token_, options); }
    std::string Target() const { return dir_.File("target.bin"); }

    // Range headers of the GET requests received, and the number of HEAD requests.
    Ranges GetRanges(int* heads = nullptr) const {
        Ranges r;
        int h = 0;
        for (const auto& line : server_->Log(token_)) {
            if (line.rfind("HEAD ", 0) == 0) ++h;
            if (line.rfind("GET ", 0) == 0) r.insert(line.substr(line.rfind(' ') + 1));
        }
        if (heads) *heads = h;
        return r;
    }

    // The target holds the test pattern of `size` bytes.
    void ExpectIdentical(int64_t size) const {
        std::string data = ReadFileBytes(Target());
        ASSERT_EQ(static_cast<int64_t>(data.size()), size);
        EXPECT_EQ(FirstPatternMismatch(data), -1);
    }

    static std::unique_ptr<TestServer> server_;
    std::string token_;
    test::TempDir dir_;
    TDownloadMultiThread dm_{MainLoop(), kProgressMs, kWatchdogMs};
    std::vector<std::pair<int64_t, int64_t>> progress_;
};
std::unique_ptr<TestServer> DownloadTest::server_;

struct SplitCase {
    int64_t size;
    int threads;
    Ranges ranges;
};

TEST_F(DownloadTest, SplitsIntoTheExactRangesAndArrivesIdentical) {
    const std::vector<SplitCase> cases = {
        {99999, 6, {"bytes=0-99998"}},
        {100000, 6, {"bytes=0-49999", "bytes=50000-99999"}},
        // Half of 999999 is 499999.5, rounded to the even 500000: the first piece is longer.
        {999999, 6, {"bytes=0-499999", "bytes=500000-999998"}},
        // Six pieces of 166667; the last ends at the last byte and is two bytes shorter.
        {1000000, 6,
         {"bytes=0-166666", "bytes=166667-333333", "bytes=333334-500000", "bytes=500001-666667",
          "bytes=666668-833334", "bytes=833335-999999"}},
        {500000, 1, {"bytes=0-499999"}},
        {500000, 2, {"bytes=0-249999", "bytes=250000-499999"}},
        // 150000.5 rounds to the even 150000, not up.
        {300001, 2, {"bytes=0-149999", "bytes=150000-300000"}},
        {3000001, 6,
         {"bytes=0-499999", "bytes=500000-999999", "bytes=1000000-1499999", "bytes=1500000-1999999",
          "bytes=2000000-2499999", "bytes=2500000-3000000"}},
        {5000000, 10, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + ", threads " + std::to_string(c.threads));
        token_ = TestServer::NewToken();
        progress_.clear();
        dm_.SetThreads(c.threads);
        dm_.GetFile(Url("size=" + std::to_string(c.size)), Target());
        EXPECT_FALSE(dm_.HaveError);
        int heads = 0;
        Ranges got = GetRanges(&heads);
        EXPECT_EQ(heads, 1);
        if (!c.ranges.empty()) EXPECT_EQ(got, c.ranges);
        else EXPECT_EQ(got.size(), 10u);
        ExpectIdentical(c.size);
        ASSERT_FALSE(progress_.empty());
        EXPECT_EQ(progress_.back(), std::make_pair(c.size, c.size));  // the final report
    }
}

TEST_F(DownloadTest, SetThreadsClampsToOneToTen) {
    const std::pair<int, int> cases[] = {{0, 1}, {-5, 1}, {1, 1}, {6, 6}, {10, 10}, {11, 10}};
    for (auto [in, out] : cases) {
        dm_.SetThreads(in);
        EXPECT_EQ(dm_.Threads(), out) << in;
    }
}

TEST_F(DownloadTest, OverwritesALongerExistingTarget) {
    {
        std::string junk(300000, 'x');
        std::FILE* f = std::fopen(Target().c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(junk.data(), 1, junk.size(), f);
        std::fclose(f);
    }
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=123457"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(123457);
}

TEST_F(DownloadTest, NoUsableSizeMeansErrorNoFileNoGet) {
    for (const char* options : {"size=100000,nolen", "size=0", "size=5000,fail"}) {
        SCOPED_TRACE(options);
        token_ = TestServer::NewToken();
        dm_.GetFile(Url(options), Target());
        EXPECT_TRUE(dm_.HaveError);
        EXPECT_FALSE(FileExists(Target()));
        EXPECT_TRUE(GetRanges().empty());
    }
    dm_.GetFile("http://127.0.0.1:1/nothing-listens-here", Target());
    EXPECT_TRUE(dm_.HaveError);
    EXPECT_FALSE(FileExists(Target()));
}

TEST_F(DownloadTest, ErrorStatusOnOnePieceIsNotRepeatedAndLeavesZeros) {
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=100000,err=50000:503"), Target());
    EXPECT_TRUE(dm_.HaveError);
    EXPECT_EQ(GetRanges(), (Ranges{"bytes=0-49999", "bytes=50000-99999"}));
    std::string data = ReadFileBytes(Target());
    ASSERT_EQ(data.size(), 100000u);
    EXPECT_EQ(FirstPatternMismatch(data.substr(0, 50000)), -1);
    EXPECT_TRUE(AllZeros(data.substr(50000)));
}

TEST_F(DownloadTest, DroppedConnectionIsAnErrorAndNotRepeated) {
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=100000,drop=50000"), Target());
    EXPECT_TRUE(dm_.HaveError);
    EXPECT_EQ(GetRanges(), (Ranges{"bytes=0-49999", "bytes=50000-99999"}));
}

TEST_F(DownloadTest, StalledPieceIsRestartedFromItsFirstByte) {
    dm_.SetThreads(2);
    // Half of the second piece arrives, then nothing: the watchdog drops the connection
    // and the piece starts again, so its progress falls back.
    dm_.GetFile(Url("size=1000000,rate=2000000,stall=500000"), Target());
    EXPECT_FALSE(dm_.HaveError);
    EXPECT_EQ(GetRanges(), (Ranges{"bytes=0-499999", "bytes=500000-999999", "bytes=500000-999999"}));
    ExpectIdentical(1000000);
    bool fellBack = false;
    for (size_t i = 1; i < progress_.size(); ++i) fellBack |= progress_[i].first < progress_[i - 1].first;
    EXPECT_TRUE(fellBack);
}

TEST_F(DownloadTest, APieceNeedingAFourthAttemptFails) {
    dm_.SetThreads(2);
    // Three stalls, then the whole piece: four attempts are one too many all the same.
    dm_.GetFile(Url("size=200000,stall=100000:3"), Target());
    EXPECT_TRUE(dm_.HaveError);
    Ranges got = GetRanges();
    EXPECT_EQ(got.count("bytes=100000-199999"), 4u);
    EXPECT_EQ(got.count("bytes=0-99999"), 1u);
}

TEST_F(DownloadTest, ASlowButSteadyPieceIsNeverRestarted) {
    // Each piece takes three watchdog intervals, with bytes arriving several times in each.
    TDownloadMultiThread dm(MainLoop(), kProgressMs, 600);
    dm.SetThreads(2);
    dm.GetFile(Url("size=360000,rate=100000"), Target());
    EXPECT_FALSE(dm.HaveError);
    EXPECT_EQ(GetRanges(), (Ranges{"bytes=0-179999", "bytes=180000-359999"}));
    ExpectIdentical(360000);
}

TEST_F(DownloadTest, HandlersThatFailOrNestADownloadLeaveItWholeAndReusable) {
    std::vector<std::string> shown;
    auto previous = SetHandlerErrorSink([&](const std::string& text) { shown.push_back(text); });
    dm_.SetThreads(2);
    Timer meddler(MainLoop(), 20);
    bool nestedRefused = false;
    meddler.OnTimer([&] {
        meddler.SetEnabled(false);
        nestedRefused = !dm_.GetFile(Url("size=1000"), dir_.File("nested.bin"));
        throw std::runtime_error("display failed");
    });
    meddler.SetEnabled(true);
    EXPECT_TRUE(dm_.GetFile(Url("size=400000,rate=200000"), Target()));
    SetHandlerErrorSink(previous);
    EXPECT_TRUE(nestedRefused);
    EXPECT_FALSE(dm_.HaveError);
    EXPECT_FALSE(FileExists(dir_.File("nested.bin")));
    ExpectIdentical(400000);
    EXPECT_EQ(shown, std::vector<std::string>{"display failed"});

    token_ = TestServer::NewToken();
    EXPECT_TRUE(dm_.GetFile(Url("size=1000"), Target()));
    ExpectIdentical(1000);
}

TEST_F(DownloadTest, NamesWithBlanksAndNonAsciiLettersArrive) {
    EXPECT_EQ(NormalizeUrl("http://h/a b\\c{1}^\"<>`.bin?q=x\\y z#f\\g"),
              "http://h/a%20b/c%7B1%7D%5E%22%3C%3E%60.bin?q=x\\y%20z#f\\g");
    dm_.SetThreads(2);
    for (const char* name : {"with blank.bin", "Spiel\xC3\xA4 {1}^.bin"}) {
        SCOPED_TRACE(name);
        dm_.GetFile(server_->Url(token_, "size=100000", name), Target());
        EXPECT_FALSE(dm_.HaveError);
        ExpectIdentical(100000);
    }
}

TEST_F(DownloadTest, ServerIgnoringRangeFailsAndNeverGrowsTheTarget) {
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=1000000,norange"), Target());
    EXPECT_TRUE(dm_.HaveError);
    EXPECT_EQ(ReadFileBytes(Target()).size(), 1000000u);
}

TEST_F(DownloadTest, PieceAnsweredWithAnotherRangeFails) {
    dm_.SetThreads(2);
    dm_.GetFile(Url("size=100000,badrange=0"), Target());
    EXPECT_TRUE(dm_.HaveError);
    std::string data = ReadFileBytes(Target());
    ASSERT_EQ(data.size(), 100000u);
    EXPECT_TRUE(AllZeros(data.substr(0, 50000)));  // nothing of the wrong bytes kept
    EXPECT_EQ(FirstPatternMismatch(data.substr(50000), 50000), -1);
}

TEST_F(DownloadTest, ServerIgnoringRangeIsFineForASinglePiece) {
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=99999,norange"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(99999);
}

TEST_F(DownloadTest, StopDeletesTheTargetAndReportsAnError) {
    // One piece crawls and one stalls with the watchdog far away: Stop must end both.
    TDownloadMultiThread dm(MainLoop(), kProgressMs, kWatchdogIntervalMs);
    dm.SetThreads(2);
    Timer stopper(MainLoop(), 300);
    stopper.OnTimer([&] {
        stopper.SetEnabled(false);
        dm.Stop();
    });
    stopper.SetEnabled(true);
    dm.GetFile(Url("size=1000000,rate=100000,stall=500000"), Target());
    EXPECT_TRUE(dm.HaveError);
    EXPECT_FALSE(FileExists(Target()));
}

// One cap for all pieces: while it holds, the pieces together never run ahead of it by
// more than the bucket and a buffer each; lifted in the middle of the download, it is
// followed at once and the file arrives whole through the sliced writes.
TEST_F(DownloadTest, ACapIsSharedByAllPiecesAndFollowedWhileItRuns) {
    constexpr int64_t kSize = 3000000, kCap = 64 * 1024;
    dm_.SetThreads(6);
    dm_.SetLimitRate(kCap);
    const auto began = std::chrono::steady_clock::now();
    int64_t cappedLoaded = -1;
    double cappedSeconds = 0;
    dm_.OnProgress = [&](TDownloadMultiThread& d, int64_t loaded, int64_t) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (d.LimitRate() == 0 || seconds < 0.5) return;
        cappedLoaded = loaded;
        cappedSeconds = seconds;
        d.SetLimitRate(0);
    };
    ASSERT_TRUE(dm_.GetFile(Url("size=3000000"), Target()));
    ExpectIdentical(kSize);
    ASSERT_GE(cappedLoaded, 0);
    EXPECT_LE(cappedLoaded, static_cast<int64_t>(kCap * cappedSeconds) + kCap / 10 + 6 * 32 * 1024);
}

TEST_F(DownloadTest, FollowsRedirects) {
    dm_.SetThreads(6);
    dm_.GetFile(Url("size=100000,redir"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(100000);
    EXPECT_EQ(GetRanges().count("bytes=50000-99999"), 2u);  // the redirect, then the file
}

TEST_F(DownloadTest, PieceFileModeGivesTheSameFileAndCleansUp) {
    dm_.SetThreads(6);
    dm_.ThreadUseFileStream = true;
    dm_.TmpFolder = dir_.Path() + "/";
    dm_.GetFile(Url("size=1000001"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(1000001);
    for (int k = 1; k <= 6; ++k) EXPECT_FALSE(FileExists(dir_.File("_part_" + std::to_string(k) + ".tmp")));
}

TEST_F(DownloadTest, HttpsWithALocalCertificate) {
    TestServer https(true);
    if (!https.Available()) GTEST_SKIP() << https.Why();
    dm_.SetThreads(6);
    dm_.GetFile(https.Url(token_, "size=1000000"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(1000000);
}

// A download cut short goes on where each piece stopped when it is asked for again under
// the same key, and a whole one (kept until its caller removes it) is not fetched again;
// under another key it starts afresh.
TEST_F(DownloadTest, ACutShortDownloadGoesOnUnderTheSameKeyOnly) {
    // Two pieces of 1,000,000 bytes; the second connection closes halfway.
    const std::string url = Url("size=2000000,drop=1000000");
    dm_.SetThreads(2);
    dm_.ResumeKey = "A";
    EXPECT_FALSE(dm_.GetFile(url, Target()));
    EXPECT_TRUE(FileExists(Target() + ".resume"));
    EXPECT_TRUE(dm_.GetFile(url, Target()));
    ExpectIdentical(2000000);
    EXPECT_TRUE(FileExists(Target() + ".resume"));
    const Ranges firstTwo = GetRanges();
    // The second attempt asked only for what was missing of the second piece.
    ASSERT_EQ(firstTwo.size(), 3u);
    EXPECT_EQ(firstTwo.count("bytes=0-999999"), 1u);
    EXPECT_EQ(firstTwo.count("bytes=1000000-1999999"), 1u);
    const std::string resumed = *std::find_if(firstTwo.begin(), firstTwo.end(), [](const std::string& r) {
        return r != "bytes=0-999999" && r != "bytes=1000000-1999999";
    });
    EXPECT_GT(std::stoll(resumed.substr(6)), 1000000) << resumed;

    // Whole, asked for again under the same key: nothing is fetched.
    EXPECT_TRUE(dm_.GetFile(url, Target()));
    ExpectIdentical(2000000);
    EXPECT_EQ(GetRanges().size(), 3u);
    // Under another key: every piece from its start (and cut short again).
    dm_.ResumeKey = "B";
    EXPECT_FALSE(dm_.GetFile(url, Target()));
    const Ranges all = GetRanges();
    EXPECT_EQ(all.count("bytes=0-999999"), 2u);
    EXPECT_EQ(all.count("bytes=1000000-1999999"), 2u);
}

// At the lowest cap a small file arrives whole from its one request: the waits for the
// cap's tokens, each longer than the watchdog here, are not taken for stalls.
TEST_F(DownloadTest, TheLowestCapCompletesASmallFileWithoutRestarts) {
    dm_.SetLimitRate(kMinLimitRate);
    ASSERT_TRUE(dm_.GetFile(Url("size=3000"), Target()));
    ExpectIdentical(3000);
    // Asked for in parts of what the cap lends at a time, each once.
    EXPECT_EQ(GetRanges(), (Ranges{"bytes=0-1023", "bytes=1024-2047", "bytes=2048-2999"}));
}

// Under a cap a body is asked for in parts: a server that ignores ranges still serves a small
// file whole, one that answers the first part with other bytes is asked for the whole file,
// and a later part that is not the next bytes of the file fails the download without keeping
// a wrong byte.
TEST_F(DownloadTest, UnderACapOnlyPartsThatContinueTheFileAreTaken) {
    dm_.SetLimitRate(20 * 1024);  // parts of 1,024 bytes
    dm_.GetFile(Url("size=5000,norange"), Target());
    EXPECT_FALSE(dm_.HaveError);
    ExpectIdentical(5000);
    std::string whole;
    bool ok = false;
    TransferBatch batch(dm_.Engine());
    TransferRequest r;
    r.url = Url("size=5000,badrange=0");
    r.body = [&](const TransferResult&, const char* data, size_t length) {
        whole.append(data, length);
        return true;
    };
    r.done = [&](const TransferResult& result) { ok = result.ok; };
    batch.Add(std::move(r));
    batch.Wait();
    EXPECT_TRUE(ok);
    EXPECT_EQ(whole.size(), 5000u);
    EXPECT_EQ(FirstPatternMismatch(whole), -1);
    dm_.GetFile(Url("size=5000,badrange=2048"), Target());
    EXPECT_TRUE(dm_.HaveError);
    const std::string data = ReadFileBytes(Target());
    EXPECT_EQ(FirstPatternMismatch(data.substr(0, std::min<size_t>(data.size(), 2048)), 0), -1);
    EXPECT_TRUE(data.size() <= 2048 || AllZeros(data.substr(2048)));
}

// A stop ends a size query, a block index fetch and a build from ranges at once, while the
// server says nothing at all.
TEST_F(DownloadTest, AStopEndsEveryKindOfRequestAtOnce) {
    const std::string silent = Url("size=100000,delay=25000");
    bool stop = false;
    Timer stopper(MainLoop(), 200);
    stopper.OnTimer([&] {
        stopper.SetEnabled(false);
        stop = true;
        dm_.Stop();
    });
    const auto stopped = [&] { return stop; };
    const auto secondsUntilStopped = [&](const std::function<void()>& run) {
        stop = false;
        stopper.SetEnabled(true);
        const auto began = std::chrono::steady_clock::now();
        run();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };
    // Far below the server's silence and any stall limit: nothing waited for the server.
    constexpr double kPrompt = 5;
    EXPECT_LT(secondsUntilStopped([&] { EXPECT_EQ(dm_.QuerySizes({silent}), std::vector<int64_t>{-1}); }), kPrompt);
    BlockIndex index;
    std::string why;
    EXPECT_LT(secondsUntilStopped([&] { EXPECT_FALSE(FetchBlockIndex(dm_.Engine(), silent, index, why, stopped)); }),
              kPrompt);
    index.fileSize = 100000;
    index.blockSize = 65536;
    index.blocks.resize(2);
    DeltaBuild build;
    build.oldFile = Target();
    build.url = silent;
    build.newFile = dir_.File("new.bin");
    build.stopped = stopped;
    EXPECT_LT(secondsUntilStopped([&] { EXPECT_FALSE(BuildFile(dm_.Engine(), index, DeltaPlan{{-1, -1}}, build)); }),
              kPrompt);
    EXPECT_EQ(build.why, "stopped");
}

}  // namespace
}  // namespace tarvos
