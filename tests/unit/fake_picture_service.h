#pragma once
// A picture service that answers when the test says so, on the test's thread, through the
// same resolver the real worker uses: the test plays the view and hands the results to the
// presenter in whatever order and batches it likes.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "menu/picture_jobs.h"

namespace kesk::test {

class FakePictureService : public PictureService {
  public:
    FakePictureService(Desktop& desktop, PictureCache* cache) : resolver_(desktop, cache) {}

    void submit(std::vector<PictureJob> jobs, std::uint64_t generation) override {
        jobs_ = std::move(jobs);
        generation_ = generation;
        ++submits;
    }

    // The answer to the job at `position` of the last submission.
    PictureResult answer(std::size_t position) {
        PictureResult r = resolver_.resolve(jobs_.at(position));
        r.generation = generation_;
        return r;
    }
    // Answers to every job, in their order.
    std::vector<PictureResult> answerAll() {
        std::vector<PictureResult> all;
        for (std::size_t p = 0; p < jobs_.size(); ++p) {
            all.push_back(answer(p));
        }
        return all;
    }

    const std::vector<PictureJob>& jobs() const noexcept { return jobs_; }
    std::uint64_t generation() const noexcept { return generation_; }
    int submits = 0;

  private:
    PictureResolver resolver_;
    std::vector<PictureJob> jobs_;
    std::uint64_t generation_ = 0;
};

} // namespace kesk::test
