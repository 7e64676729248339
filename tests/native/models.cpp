// The model layer below the Python surface: Gauss-Jordan, the two model kinds, feature
// preparation and the online trainers. One command a line, groups separated by ";":
//   gj P ; matrix
//   fit KIND ALPHA ROWS COLS ; X ; y
//   prep WHICH LOOKBACK ; series...
//   online WHICH TRAIN_WINDOW LOOKBACK ALPHA KIND POLY ; series...
//   whole WHICH TRAIN_WINDOW LOOKBACK ALPHA KIND POLY LAST ; series...
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>
#include "ml/features.hpp"
#include "ml/trainer.hpp"
using namespace vorn;
using namespace vorn::ml;
static void put(const double* v, long n) {
    std::printf("v");
    for (long i = 0; i < n; ++i) std::printf(" %.17g", v[i]);
    std::printf("\n");
}
int main() {
    std::string line, cmd;
    std::getline(std::cin, line);
    std::istringstream in(line);
    in >> cmd;
    std::vector<std::vector<double>> f(1);
    for (std::string t; in >> t;) {
        if (t == ";") f.emplace_back(); else f.back().push_back(std::strtod(t.c_str(), nullptr));
    }
    if (cmd == "gj") {
        bool ok = models::gauss_jordan(f[1].data(), (std::size_t)f[0][0]);
        std::printf("%s\n", ok ? "ok" : "singular");
        put(f[1].data(), (long)f[1].size());
    } else if (cmd == "fit") {  // kind alpha rows cols ; X ; y
        long rows = (long)f[0][2], cols = (long)f[0][3];
        models::Matrix x = Eigen::Map<models::Matrix>(f[1].data(), rows, cols);
        models::Vector y = Eigen::Map<models::Vector>(f[2].data(), (long)f[2].size());
        auto model = f[0][0] == 0 ? models::SFGModel::linear_regression() : models::SFGModel::ridge(f[0][1]);
        auto before = model.predict(x);
        put(before.data(), before.size());
        auto s = model.train(x, y);
        std::printf("%s\n", s ? "ok" : s.error().c_str());
        std::printf("%d\n", (int)model.is_trained());
        auto p = model.predict(x);
        put(p.data(), p.size());
        auto again = model.train(x, models::Vector::Constant(rows, NAN));
        auto q = model.predict(x);
        std::printf("%s %d\n", again ? "ok" : again.error().c_str(), (int)(p.size() == q.size() && (p.array() == q.array()).all()));
    } else if (cmd == "prep") {  // which lookback ; series...
        auto lb = (std::uint64_t)f[0][1];
        auto d = f[0][0] == 0 ? features::prepare_atr2_features(f[1], f[2], f[3], lb)
               : f[0][0] == 1 ? features::prepare_momentum_features(f[1], lb)
                              : features::prepare_supertrend_features(f[1], f[2], lb);
        if (!d) { std::printf("error %s\n", d.error().message().c_str()); return 0; }
        put(d->targets.data(), d->targets.size());
    } else if (cmd == "online") {  // which tw lb alpha kind poly ; series...
        trainer::TrainerConfig c{(std::uint64_t)f[0][1], (std::uint64_t)f[0][2], f[0][3],
                                 f[0][4] == 0 ? trainer::ModelKind::LeastSquares : trainer::ModelKind::Ridge, f[0][5] != 0};
        auto r = f[0][0] == 0 ? trainer::online_predict_atr2(f[1], f[2], f[3], c)
               : f[0][0] == 1 ? trainer::online_predict_momentum(f[1], c)
                              : trainer::online_predict_supertrend(f[1], f[2], c);
        if (!r) { std::printf("error %s\n", r.error().message().c_str()); return 0; }
        put(r->data(), (long)r->size());
    } else if (cmd == "whole") {  // which tw lb alpha kind poly last ; series...
        // The matrix path: the whole standardized matrix, widened whole, fitted on its first
        // rows (last == 0, as the online trainers) or last rows (as the training functions),
        // every row predicted in one product.
        auto lb = (std::uint64_t)f[0][2], tw = (std::uint64_t)f[0][1];
        const int which = (int)f[0][0];
        auto d = which == 0 ? features::prepare_atr2_features(f[1], f[2], f[3], lb)
               : which == 1 ? features::prepare_momentum_features(f[1], lb)
                            : features::prepare_supertrend_features(f[1], f[2], lb);
        if (!d) { std::printf("error %s\n", d.error().message().c_str()); return 0; }
        models::Matrix x = f[0][5] != 0 ? features::polynomial_features(d->features) : d->features;
        auto model = f[0][4] == 0 ? models::SFGModel::linear_regression()
                                  : models::SFGModel::ridge(models::clamp_alpha(f[0][3]));
        const long m = (long)d->rows(), labelled = which == 0 && m > 0 ? m - 1 : m;
        const long rows = std::min<long>(labelled, (long)std::min<std::uint64_t>(tw, 1u << 30));
        const long start = f[0][6] != 0 ? labelled - rows : 0;
        auto s = model.train(x.middleRows(start, rows), d->targets.segment(start, rows));
        if (!s) { std::printf("failed %s\n", s.error().c_str()); return 0; }
        auto p = model.predict(x);
        put(p.data(), p.size());
    }
}
