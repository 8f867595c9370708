// Gauss-Jordan elimination over GF(2^16), one candidate row at a time: a row is reduced by the
// rows taken so far; when something is left it is taken, scaled to 1 at its pivot, and cleared
// from the others. Alongside each row runs its combination of the chosen exponents' rows, which
// at the end, with every row a unit row, is the inverse. The row operations are region
// multiplies over the rows' 16-bit words.
#include "Par2Solver.h"

#include "Gf16.h"

#include <algorithm>
#include <cstring>

namespace {

// row ^= f * other, over n words.
void AddScaled(uint16_t* row, const uint16_t* other, size_t n, uint16_t f)
{
    Gf16MulAdd(row, other, 2 * n, f);
}

void Scale(uint16_t* row, size_t n, uint16_t f)
{
    for (size_t k = 0; k < n; ++k) row[k] = Gf16Mul(row[k], f);
}

}  // namespace

bool TPar2Solver::Solve(uint32_t inputCount, const std::vector<uint32_t>& missing,
                        const std::vector<uint32_t>& exponents)
{
    Lost = missing;
    std::sort(Lost.begin(), Lost.end());
    Exponents.clear();
    Inverse.clear();
    Transposed.clear();
    const size_t m = Lost.size();
    if (inputCount > Gf16InputConstantCount || m > Par2MaxMissing || exponents.size() < m ||
        std::adjacent_find(Lost.begin(), Lost.end()) != Lost.end() || (m > 0 && Lost.back() >= inputCount))
        return false;
    std::vector<uint16_t> constants(m);
    for (size_t j = 0; j < m; ++j) constants[j] = Gf16InputConstant(Lost[j]);

    // Row t: [m words of the reduced row | m words of its combination]; Pivot[t] its column.
    std::vector<uint16_t> rows(m * 2 * m);
    std::vector<size_t> pivot;
    for (size_t x = 0; x < exponents.size() && Exponents.size() < m; ++x) {
        const size_t t = Exponents.size();
        uint16_t* row = rows.data() + t * 2 * m;
        for (size_t j = 0; j < m; ++j) row[j] = Gf16Pow(constants[j], exponents[x]);
        std::fill(row + m, row + 2 * m, 0);
        row[m + t] = 1;
        for (size_t s = 0; s < t; ++s) AddScaled(row, rows.data() + s * 2 * m, 2 * m, row[pivot[s]]);
        const size_t p = static_cast<size_t>(std::find_if(row, row + m, [](uint16_t w) { return w != 0; }) - row);
        if (p == m) continue;  // depends on the rows taken
        Scale(row, 2 * m, Gf16Inv(row[p]));
        for (size_t s = 0; s < t; ++s) {
            uint16_t* other = rows.data() + s * 2 * m;
            AddScaled(other, row, 2 * m, other[p]);
        }
        pivot.push_back(p);
        Exponents.push_back(exponents[x]);
    }
    if (Exponents.size() < m) {
        Exponents.clear();
        return false;
    }
    // Row t is now the unit row of column pivot[t]: slice pivot[t] = its combination.
    Inverse.resize(m * m);
    Transposed.resize(m * m);
    for (size_t t = 0; t < m; ++t) {
        const uint16_t* comb = rows.data() + t * 2 * m + m;
        std::memcpy(Inverse.data() + pivot[t] * m, comb, m * sizeof(uint16_t));
        for (size_t e = 0; e < m; ++e) Transposed[e * m + pivot[t]] = comb[e];
    }
    return true;
}

TPar2Rebuilder::TPar2Rebuilder(const TPar2Solver& solver, size_t stripe)
    : Solver(solver), Stripe(stripe), Outputs(solver.Missing().size() * stripe), Factors(solver.Missing().size())
{
}

void TPar2Rebuilder::Start(size_t len)
{
    Len = std::min(len, Stripe);
    std::fill(Outputs.begin(), Outputs.end(), 0);
}

const uint16_t* TPar2Rebuilder::FactorsOf(uint32_t i)
{
    const size_t m = Factors.size();
    if (i < Slot.size() && Slot[i] >= 0) return Kept.data() + static_cast<size_t>(Slot[i]) * m;
    Solver.InputFactors(i, Factors.data());
    if (m != 0 && i < Gf16InputConstantCount && (Kept.size() + m) * sizeof(uint16_t) <= Par2MaxFactorCache) {
        if (Slot.empty()) Slot.assign(Gf16InputConstantCount, -1);
        Slot[i] = static_cast<int32_t>(Kept.size() / m);
        Kept.insert(Kept.end(), Factors.begin(), Factors.end());
    }
    return Factors.data();
}

void TPar2Rebuilder::AddInput(uint32_t i, const void* data)
{
    const uint16_t* factors = FactorsOf(i);
    for (size_t j = 0; j < Factors.size(); ++j) Gf16MulAdd(Outputs.data() + j * Stripe, data, Len, factors[j]);
}

void TPar2Rebuilder::AddRecovery(size_t e, const void* data)
{
    for (size_t j = 0; j < Factors.size(); ++j)
        Gf16MulAdd(Outputs.data() + j * Stripe, data, Len, Solver.RecoveryFactor(j, e));
}

void TPar2Solver::InputFactors(uint32_t i, uint16_t* out) const
{
    const size_t m = Lost.size();
    std::fill(out, out + m, 0);
    const uint16_t c = Gf16InputConstant(i);
    for (size_t e = 0; e < m; ++e) AddScaled(out, Transposed.data() + e * m, m, Gf16Pow(c, Exponents[e]));
}
