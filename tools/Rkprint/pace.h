// The choice between Rkprint's two ways of reading, made from the times of
// windows of batches: with the reader thread, or the paging reading every
// batch in turn itself. It goes on the way that was faster, and now and
// then tries the other way for a window again: after a few windows, and
// after twice as many each time the other way loses again. The other way
// is taken only when its trial was clearly faster, since one window's time
// varies by some tens of percent on a busy machine.
#pragma once

#include <algorithm>
#include <cstdint>

struct PaceChoice {
    static constexpr int32_t first_gap = 4, gap_most = 64;
    static constexpr double margin = 0.95;  // a trial's way goes on when it took at most this share of the time
    double per_batch[2]{};     // seconds a batch, alone and with the reader (0: not timed yet)
    int32_t windows_left = 1;  // of this way before the next trial
    int32_t trial_gap = first_gap;  // windows of the faster way between trials
    bool trial = false;        // the window is a trial of the other way

    // A window of the way `with_reader` has taken `per_batch` seconds a
    // batch: the way of the next window (true: with the reader).
    bool window_done(bool with_reader, double per_batch_now) {
        // The time of a way goes on as the mean of its last window and the
        // time before (a trial's way starts afresh).
        double& mean = per_batch[with_reader];
        mean = mean == 0 || trial ? per_batch_now : (mean + per_batch_now) / 2;
        if (trial) {
            trial = false;
            if (per_batch_now <= per_batch[!with_reader] * margin) {
                trial_gap = windows_left = first_gap;
                return with_reader;
            }
            trial_gap = std::min(trial_gap * 2, gap_most);
            windows_left = trial_gap;
            return !with_reader;
        }
        if (--windows_left > 0) return with_reader;
        trial = true;
        return !with_reader;
    }
};
