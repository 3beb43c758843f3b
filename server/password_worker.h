// Password hashes are slow on purpose (yescrypt, about 20 ms each). quarnd
// computes them on one worker thread so that a stream of them delays other
// password work at most, never the loop that serves chat and pastes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarnd {

struct CryptJob {
    enum class Kind { Hash, Verify };
    Kind kind = Kind::Hash;
    std::uint64_t session = 0;  // who is waiting for the answer
    std::string password;
    std::string hash;  // Verify: the stored hash to check against
    int cost = 0;      // Hash: yescrypt cost, 0 for libxcrypt's default
};

struct CryptResult {
    CryptJob::Kind kind = CryptJob::Kind::Hash;
    std::uint64_t session = 0;
    bool ok = false;   // Verify: the password matches; Hash: a hash was made
    std::string hash;  // Hash: the new hash
};

CryptResult runCryptJob(const CryptJob& job);

class CryptWorker {
  public:
    // `ready` is called on the worker thread whenever a result is waiting;
    // it must only wake the loop, which then calls take().
    explicit CryptWorker(std::function<void()> ready);
    ~CryptWorker();
    CryptWorker(const CryptWorker&) = delete;
    CryptWorker& operator=(const CryptWorker&) = delete;

    void submit(CryptJob job);
    std::vector<CryptResult> take();
    // For shutdown: drops the logins not yet started (nobody will be served
    // any more) and waits until every password change has its hash.
    void finish();

  private:
    void run();

    std::function<void()> ready_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<CryptJob> jobs_;
    std::vector<CryptResult> results_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace quarnd
