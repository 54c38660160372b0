#include "driver/many.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <climits>
#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <system_error>
#include <thread>
#include <utility>

#include "base/fatal.h"
#include "driver/diagnostics.h"
#include "driver/documents.h"
#include "driver/filter.h"
#include "jobs/channel.h"
#include "jobs/printer.h"
#include "jobs/stop.h"
#include "warc/warc.h"

namespace tagsift {

namespace {

// What a document that is not first in line may print before its worker waits.
constexpr std::size_t kHoldLimit = 1 << 20;
// The documents handed out and not yet printed, a few for each worker: a document whose bytes
// this thread holds until its worker takes them (standard input, a crawl file's payload that is
// decoded or inflated) counts with up to a channel of them.
unsigned heavyWindow(unsigned jobs) { return 2 * jobs + 2; }
// Those that hold nothing until their worker takes them (a file's name, a stretch of a crawl
// file) may be many more: this thread then waits, and wakes, a few times as rarely.
unsigned lightWindow(unsigned jobs) { return 4 * heavyWindow(jobs); }

unsigned processorsToRunOn() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// As many jobs as the limit on open files leaves two descriptors each, besides a few for the
// run (standard streams, a file list, a crawl file): past it, documents would wait for each other's.
unsigned jobsForDescriptors() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT_MAX;
    return static_cast<unsigned>(std::clamp<rlim_t>(limit.rlim_cur / 2, 5, UINT_MAX) - 4);
}

// One document to filter, in its place in the input.
struct Task {
    Printer::Slot slot = 0;
    std::string name;  // its $_file$
    DocumentInfo info;
    // Its bytes, counted as they were read: a channel this thread fills, or a stretch of a crawl
    // file; without them, the worker opens the file itself.
    std::unique_ptr<ByteSource> bytes;
};

// The documents handed out and not yet taken, in input order. The Printer's window bounds them.
class TaskQueue {
public:
    explicit TaskQueue(Stop& stop) : stop_(stop) {}
    void push(Task task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        changed_.notify_one();
    }
    // No more tasks come.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    // The next task; nullopt once they are all taken, or the run is stopping.
    std::optional<Task> pop() {
        std::unique_lock lock(mutex_);
        if (!changed_.wait(lock, stop_.token(), [&] { return !tasks_.empty() || closed_; }) || tasks_.empty())
            return std::nullopt;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

private:
    Stop& stop_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Task> tasks_;
    bool closed_ = false;
};

// What the threads of one run share.
struct Run {
    Run(const CommandLine& line, int inFd, int outFd, int errFd, unsigned jobs, Diagnostics& diagnostics)
        : line(line), inFd(inFd), jobs(jobs), printer(outFd, errFd, kHoldLimit, stop), diagnostics(diagnostics),
          tasks(stop) {
        diagnostics.usePrinter(printer);
    }
    const CommandLine& line;
    const int inFd;
    const unsigned jobs;
    Stop stop;
    Printer printer;
    Diagnostics& diagnostics;
    BlockPool blocks;
    TaskQueue tasks;  // after the pool: a task left when the run stops gives its channel's blocks back
};

// How a message names a document: its file, and in a crawl its record's place and address.
std::string documentName(const Task& task) {
    if (task.info.offset < 0) return task.name;
    std::string name = task.name + " : the record at byte " + std::to_string(task.info.offset);
    if (!task.info.url.empty()) name += " (" + task.info.url + ")";
    return name;
}

class Worker {
public:
    explicit Worker(Run& run) : run_(run), sink_(run.printer), out_(sink_), filter_(run.line, out_) {}

    void work() {
        try {
            while (std::optional<Task> task = run_.tasks.pop()) filterOne(*task);
        } catch (const Stopped&) {
        } catch (...) {
            run_.stop.fail(std::current_exception());
        }
    }

    void filterOne(Task& task) {
        sink_.use(task.slot);
        std::optional<DocumentError> error;
        Tally& tally = run_.diagnostics.tally();
        bool opened = false;  // a file of the worker's own, which counts once it is read
        try {
            std::unique_ptr<ByteSource> source;
            if (task.bytes) {
                source = std::move(task.bytes);
            } else {
                source = std::make_unique<CountedSource>(openDocument(task.name, run_.inFd), tally.bytesRead,
                                                         &tally.bytesInflated);
                opened = true;
            }
            Input input(std::move(source));
            ++tally.documents;
            error = filter_.filter(input, task.name, task.info);
        } catch (DocumentError& e) {
            error = std::move(e);
        }
        if (opened) ++tally.files;
        out_.flush();
        if (error) report(task, *error);
        else if (!task.info.truncated.empty() && filter_.endedInRegion()) run_.diagnostics.cutShort();
        run_.printer.close(task.slot);
    }

private:
    void report(const Task& task, const DocumentError& error) {
        if (error.kind == DocumentError::Kind::ReadFailed) {
            run_.diagnostics.error(task.slot, message::cannotRead(error.what, error.why));
        } else if (!task.info.truncated.empty()) {
            run_.diagnostics.cutShort();  // the crawler cut it inside a tag: it holds no more
        } else {
            run_.diagnostics.error(task.slot, message::eofInTag(documentName(task)));
        }
    }

    Run& run_;
    SlotSink sink_;
    Output out_;
    DocumentFilter filter_;
};

// The main thread's part: the names, the crawl files, and the documents handed out in order.
class Dispatcher {
public:
    // inlined: a worker of this thread's own, for the files it filters itself (one job), or null.
    Dispatcher(Run& run, Worker* inlined) : run_(run), choice_(run.line.settings), inline_(inlined) {}

    void dispatch() {
        DocumentNames names(run_.line.settings, run_.inFd);
        for (std::string name; !run_.stop.requested();) {
            try {
                if (!names.next(name)) break;
            } catch (const Fatal&) {
                // A list that fails part-way ends the run as it ends one job's: the documents it
                // named before are filtered whole, and then the failure is told.
                listFailure_ = std::current_exception();
                break;
            }
            if (run_.line.settings.warc) readCrawl(name);
            else handOut(name);
            if (std::exchange(trimWhenGone_, false)) malloc_trim(0);
        }
    }

    // The failure of a file list that ended the hand-out, or null.
    std::exception_ptr listFailure() const { return listFailure_; }

private:
    // A slot for messages that belong to no document; false when the run is stopping.
    bool say(const std::vector<std::string>& texts) {
        if (texts.empty()) return true;
        std::optional<Printer::Slot> slot = run_.printer.open(heavyWindow(run_.jobs));
        if (!slot) return false;
        for (const std::string& text : texts) run_.diagnostics.error(*slot, text);
        run_.printer.close(*slot);
        return true;
    }

    void handOut(const std::string& name) {
        if (!choice_.takes(name, {})) {
            ++run_.diagnostics.tally().skipped;
            return;
        }
        // A name costs this thread nothing: it may wait for many slots at once.
        std::optional<Printer::Slot> slot = run_.printer.open(lightWindow(run_.jobs), true);
        if (!slot) return;
        Task task{*slot, name, {}, nullptr};
        if (name != "-" && inline_) {
            // One job: the file is filtered here, in its turn, without a hand-over to a thread
            // that would wait for it.
            run_.printer.waitForTurn(task.slot);
            inline_->filterOne(task);
            return;
        }
        if (name != "-") {
            run_.tasks.push(std::move(task));
            return;
        }
        // Standard input cannot be opened twice: this thread reads it, in its turn.
        auto channel = std::make_shared<Channel>(run_.stop, run_.blocks);
        task.bytes = std::make_unique<ChannelSource>(channel);
        run_.tasks.push(std::move(task));
        Tally& tally = run_.diagnostics.tally();
        CountedSource in(std::make_unique<FdSource>(run_.inFd, describeFile(name), false), tally.bytesRead,
                         &tally.bytesInflated);
        pump(in, *channel);
        ++tally.files;
    }

    void readCrawl(const std::string& name) {
        Tally& tally = run_.diagnostics.tally();
        std::unique_ptr<ByteSource> file;
        try {
            file = std::make_unique<CountedSource>(openDocument(name, run_.inFd), tally.bytesRead, nullptr);
        } catch (const DocumentError& e) {
            say({message::cannotRead(e.what, e.why)});
            return;
        }
        // With more than one job, the members of a compressed file are inflated on as many
        // threads: inflating is most of the work of reading one.
        WarcSource crawl(std::move(file), name, {.helpers = run_.jobs > 1 ? run_.jobs : 0});
        if (run_.line.settings.choosesDocuments)
            crawl.chooseWith([this, &name](const DocumentInfo& info) { return choice_.takes(name, info); });
        try {
            handOutRecords(crawl, name);
        } catch (const DocumentError& e) {
            say({message::cannotRead(e.what, e.why)});
        }
        const CrawlCounts& counts = crawl.counts();
        tally.records += counts.records;
        tallyInflated(crawl);
        inflatedSoFar_ = 0;
        for (const auto& [kind, n] : counts.passedOver) tally.passedOver[kind] += n;
        ++tally.files;
        // What the helpers inflated ahead was held in their arenas: given back with the file.
        if (counts.inflatedAhead > 0) trimWhenGone_ = true;
    }

    // The documents of a crawl file, handed out one by one until the file ends, fails or the run
    // stops; a read error between documents leaves as a DocumentError.
    void handOutRecords(WarcSource& crawl, const std::string& name) {
        Tally& tally = run_.diagnostics.tally();
        for (DocumentInfo info;;) {
            const bool more = crawl.nextDocument(info);
            tallyInflated(crawl);  // for --progress while the file is read
            run_.diagnostics.undecodable(info.undecodable);
            tally.skipped += info.unchosen;
            if (!more) {
                say(info.problems);
                return;
            }
            if (!choice_.takes(name, info)) {
                ++tally.skipped;
                if (!say(info.problems)) return;
                continue;  // the record's rest is passed over with the next
            }
            // Bytes that the worker can read from the file itself cost this thread nothing: it
            // only frames the records, and may wait for many slots at once.
            std::unique_ptr<ByteSource> bytes = crawl.detachDocument();
            std::optional<Printer::Slot> slot =
                bytes ? run_.printer.open(lightWindow(run_.jobs), true) : run_.printer.open(heavyWindow(run_.jobs));
            if (!slot) return;
            for (const std::string& problem : info.problems) run_.diagnostics.error(*slot, problem);
            if (bytes) {
                run_.tasks.push(Task{*slot, name, std::move(info), std::move(bytes)});
                continue;
            }
            auto channel = std::make_shared<Channel>(run_.stop, run_.blocks);
            run_.tasks.push(Task{*slot, name, std::move(info), std::make_unique<ChannelSource>(channel)});
            if (!pump(crawl, *channel)) return;
        }
    }

    // The bytes the crawl file has inflated since the tally last heard of them.
    void tallyInflated(const WarcSource& crawl) {
        run_.diagnostics.tally().bytesInflated += crawl.counts().bytesInflated - inflatedSoFar_;
        inflatedSoFar_ = crawl.counts().bytesInflated;
    }

    // The document's bytes into its channel; false when the source failed, and nothing more
    // can be read of it.
    bool pump(ByteSource& from, Channel& to) {
        for (;;) {
            std::string block = to.block();
            std::size_t n = 0;
            try {
                n = from.read(block.data(), block.size());
            } catch (DocumentError& e) {
                to.unused(std::move(block));
                to.fail(std::move(e));
                return false;
            }
            if (n == 0) {
                to.unused(std::move(block));
                to.end();
                return true;
            }
            // A worker that reads no more lets the rest be passed over.
            if (!to.put(std::move(block), n)) return true;
        }
    }

    Run& run_;
    DocumentChoice choice_;
    Worker* inline_;
    long long inflatedSoFar_ = 0;  // of the crawl file being read, what the tally has
    bool trimWhenGone_ = false;    // a crawl file inflated ahead has ended: its memory to give back
    std::exception_ptr listFailure_;
};

}  // namespace

int filterMany(const CommandLine& line, int inFd, int outFd, int errFd, Diagnostics& diagnostics,
               StatusLine* statusLine) {
    // A closed standard input stays closed to "-", even once a file list or a file has taken its
    // descriptor.
    if (fcntl(inFd, F_GETFD) == -1) inFd = -1;
    const unsigned jobs = std::min(line.settings.jobs ? line.settings.jobs : processorsToRunOn(), jobsForDescriptors());
    // The C library gives each new thread an arena of its own, up to eight a processor, and keeps
    // what is freed in it: helpers started anew for each crawl file would leave memory in as many.
    mallopt(M_ARENA_MAX, static_cast<int>(std::min(jobs, 64u)) + 1);
    Run run(line, inFd, outFd, errFd, jobs, diagnostics);
    if (statusLine) run.printer.keepClearOf(*statusLine, isatty(outFd));
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<std::jthread> threads;
    for (unsigned i = 0; i < jobs; ++i) {
        workers.push_back(std::make_unique<Worker>(run));
        try {
            threads.emplace_back([worker = workers.back().get()] { worker->work(); });
        } catch (const std::system_error&) {
            workers.pop_back();
            break;  // fewer workers: the same output, later
        }
    }
    if (threads.empty()) throw fatal::noThreads();
    std::exception_ptr listFailure;
    try {
        std::optional<Worker> inlined;
        if (jobs == 1) inlined.emplace(run);
        Dispatcher dispatcher(run, inlined ? &*inlined : nullptr);
        dispatcher.dispatch();
        listFailure = dispatcher.listFailure();
    } catch (const Stopped&) {
    } catch (...) {
        run.stop.fail(std::current_exception());
    }
    run.tasks.close();
    for (std::jthread& t : threads) t.join();
    if (std::exception_ptr failure = run.stop.failure()) {
        try {
            run.printer.finish();  // what was printed before the failure
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    run.printer.finish();
    if (listFailure) std::rethrow_exception(listFailure);
    return run.diagnostics.status();
}

}  // namespace tagsift
