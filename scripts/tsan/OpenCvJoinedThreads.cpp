// Preloaded into the test programs of the ThreadSanitizer run. OpenCV's own thread pool (TBB)
// synchronises in code the sanitizer cannot see, so every parallel loop would be reported as a
// race. This backend runs the loop's stripes on plain threads that are joined at the end of the
// loop, which the sanitizer follows: races inside our loop bodies are still found, and nothing of
// ours needs a suppression.
#include <opencv2/core/parallel/parallel_backend.hpp>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

thread_local int t_threadNum = 0;

class JoinedThreads : public cv::parallel::ParallelForAPI
{
  public:
    void parallel_for(int tasks, FN_parallel_for_body_cb_t body, void *data) override
    {
        const int threads = std::max(1, std::min(m_threads, tasks));
        std::atomic<int> next{0};
        auto work = [&](int threadNum) {
            t_threadNum = threadNum;
            for (int task = next.fetch_add(1); task < tasks; task = next.fetch_add(1))
                body(task, task + 1, data);
        };
        std::vector<std::thread> helpers;
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back(work, i);
        work(0);
        for (std::thread &helper : helpers)
            helper.join();
    }
    int getThreadNum() const override { return t_threadNum; }
    int getNumThreads() const override { return m_threads; }
    int setNumThreads(int threads) override
    {
        const int old = m_threads;
        m_threads = threads > 0 ? threads : kDefaultThreads;
        return old;
    }
    const char *getName() const override { return "joined-threads"; }

  private:
    static constexpr int kDefaultThreads = 4;
    int m_threads = kDefaultThreads;
};

__attribute__((constructor)) void InstallJoinedThreads()
{
    // Without passing the count on, the pool keeps its size whatever OpenCV thinks the default is.
    cv::parallel::setParallelForBackend(std::make_shared<JoinedThreads>(), false);
}

} // namespace
