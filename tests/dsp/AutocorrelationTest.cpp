#include "dsp/Autocorrelation.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tarnival;

TEST(Autocorrelation, SumsOfPiecesMatchTheDirectSums) {
    // Pieces as long as allowed and lags as far as allowed are where a transform too short
    // would wrap round.
    struct Case {
        int maxLength, maxLag;
        std::vector<int> pieces;
        int lag;
    };
    const Case cases[] = {
        {2048, 480, {2048, 2048}, 480},
        {2048, 480, {1000, 37}, 480},
        {100, 99, {100}, 99},
        {2048, 480, {300}, 20},
    };
    std::mt19937 rng(4);
    std::normal_distribution<double> noise(0.0, 1000.0);
    for (const Case& k : cases) {
        Autocorrelation ac(k.maxLength, k.maxLag);
        std::vector<double> want(static_cast<size_t>(k.lag) + 1, 0.0);
        for (int round = 0; round < 2; ++round) { // and again after clear()
            ac.clear();
            std::fill(want.begin(), want.end(), 0.0);
            for (const int n : k.pieces) {
                std::vector<double> x(static_cast<size_t>(n));
                for (double& v : x) v = noise(rng);
                ac.add(x.data(), n);
                for (int d = 0; d <= k.lag; ++d)
                    for (int i = 0; i + d < n; ++i)
                        want[static_cast<size_t>(d)] +=
                            x[static_cast<size_t>(i)] * x[static_cast<size_t>(i + d)];
            }
            std::vector<double> got(want.size(), 0.0);
            ac.lags(got.data(), k.lag);
            for (int d = 0; d <= k.lag; ++d)
                ASSERT_NEAR(got[static_cast<size_t>(d)], want[static_cast<size_t>(d)],
                            1e-9 * want[0])
                    << "piece " << k.pieces[0] << " lag " << d;
        }
    }
}
