// Side by side: the one-pass mark-up removal against the step-by-step removal
// on pages of the same shape. The step-by-step version moves the rest of the
// page at every deletion, so it runs on a smaller page and its time is scaled
// up by the square of the size ratio (its work grows with pages x tags).
#include <chrono>
#include <cstdio>
#include <string>

#include "app/page/Markup.h"
#include "tests/app/page/MarkupReference.h"

namespace {
// A "who is present" page of `bytes` bytes: 16-byte records of one tag and a
// nickname line, then plain text up to the size asked for.
std::string MakePage(size_t tags, size_t bytes) {
    std::string page;
    page.reserve(bytes);
    for (size_t i = 0; i < tags; ++i) {
        page += "<p>nick";
        page += static_cast<char>('a' + i % 26);
        page += " here. ";
        page += '\n';
    }
    while (page.size() < bytes)
        page += page.size() % 64 == 63 ? '\n' : 'x';
    return page;
}

template <class Strip>
double Seconds(Strip strip, const std::string& page, size_t& sink) {
    const auto start = std::chrono::steady_clock::now();
    sink += strip(page).size();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <class Strip>
double BestOf(int runs, Strip strip, const std::string& page, size_t& sink) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, Seconds(strip, page, sink));
    return best;
}
}  // namespace

int main() {
    size_t sink = 0;
    const size_t bigTags = 1000000;
    const std::string big = MakePage(bigTags, size_t{16} << 20);
    const auto linear = [](const std::string& p) { return app::StripMarkup(p); };
    const auto stepwise = [](const std::string& p) { return testref::ReferenceStripMarkup(p); };

    const double linearBig = BestOf(5, linear, big, sink);
    std::printf("page: %zu bytes, %zu tags\n", big.size(), bigTags);
    std::printf("one pass, full page:            %10.4f s\n", linearBig);

    // The same shape at 1/64 of the size, where both versions can be timed directly.
    const size_t smallTags = bigTags / 64;
    const std::string small = MakePage(smallTags, big.size() / 64);
    const double linearSmall = BestOf(5, linear, small, sink);
    const double stepSmall = BestOf(1, stepwise, small, sink);
    std::printf("page of %zu bytes, %zu tags:\n", small.size(), smallTags);
    std::printf("  one pass:                     %10.6f s\n", linearSmall);
    std::printf("  step by step:                 %10.6f s\n", stepSmall);
    std::printf("  ratio step-by-step/one-pass:  %10.1f\n", stepSmall / linearSmall);

    // Scaled to the full page: quadratic growth for the step-by-step removal.
    const double scale = static_cast<double>(big.size()) / static_cast<double>(small.size());
    const double stepBigEstimate = stepSmall * scale * scale;
    std::printf("step by step, full page (scaled x%.0f^2 from the small page): %.1f s\n", scale,
                stepBigEstimate);
    std::printf("ratio on the full page (scaled): %.0f\n", stepBigEstimate / linearBig);
    std::printf("(checksum %zu)\n", sink);
    return 0;
}
