#pragma once
// The newest result of a worker for the UI thread. The worker puts, the UI
// thread takes; a result not taken yet is replaced, since the UI only wants
// the newest. put() says when the slot was empty, so the worker posts one
// wake-up message per result taken instead of one per result.
//
// Threads: put() on the worker, take() on the UI thread.
#include <mutex>
#include <optional>
#include <utility>

template <class T> class LatestResult {
public:
    // True when no result was waiting (post a message then).
    bool put(T value)
    {
        std::lock_guard guard(mutex_);
        const bool wasEmpty = !value_.has_value();
        value_ = std::move(value);
        return wasEmpty;
    }
    // The waiting result, if any; the slot is empty afterwards.
    std::optional<T> take()
    {
        std::lock_guard guard(mutex_);
        std::optional<T> value = std::move(value_);
        value_.reset();
        return value;
    }

private:
    std::mutex mutex_;
    std::optional<T> value_;
};
