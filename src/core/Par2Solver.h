// Which recovery slices rebuild which lost input slices, and with what factors. With input slices
// d_i (constants c_i = Gf16InputConstant(i)) and a recovery slice r_e = sum_i c_i^e * d_i, the m
// missing slices d_j solve the m equations of m chosen exponents:
//     sum_j c_j^e * d_j = r_e + sum_{i present} c_i^e * d_i.
// With B the inverse of A[e][j] = c_j^e:
//     d_j = sum_e B[j][e] * r_e + sum_{i present} (sum_e B[j][e] * c_i^e) * d_i,
// so all missing slices are rebuilt in one pass over the present ones, stripe by stripe (the same
// byte range of every slice at a time), each term with Gf16MulAdd.
//
// Exponents are taken in the order given: one whose row depends on the rows already taken is
// passed over for the next (rare, but the matrix is not a true Vandermonde one).
// Costs: memory 4 m^2 bytes, time O(k m^2) for k exponents looked at, O(m^2) per InputFactors.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The most missing slices solved at once (the work space is then 16 MiB, the result 16 MiB).
constexpr uint32_t Par2MaxMissing = 2048;

class TPar2Solver {
public:
    // False when the slices cannot be rebuilt: too few independent exponents, a missing index not
    // below inputCount or repeated, inputCount over Gf16InputConstantCount, or more than
    // Par2MaxMissing missing. missing is the list of the lost slices' numbers (any order).
    bool Solve(uint32_t inputCount, const std::vector<uint32_t>& missing, const std::vector<uint32_t>& exponents);

    // The lost slices in ascending order: "slice j" below is Missing()[j].
    const std::vector<uint32_t>& Missing() const { return Lost; }
    // The exponents chosen, m of them: "recovery e" below is Chosen()[e].
    const std::vector<uint32_t>& Chosen() const { return Exponents; }
    // B[j][e]: the factor of recovery e in slice j.
    uint16_t RecoveryFactor(size_t j, size_t e) const { return Inverse[j * Lost.size() + e]; }
    // The factor of each recovery slice in slice j (m of them, in the order of Chosen()).
    const uint16_t* RecoveryFactors(size_t j) const { return Inverse.data() + j * Lost.size(); }
    // For present input slice i, out[j] = its factor in slice j, for each of the m lost slices.
    void InputFactors(uint32_t i, uint16_t* out) const;

private:
    std::vector<uint32_t> Lost, Exponents;
    std::vector<uint16_t> Inverse;     // m x m, row j = slice j
    std::vector<uint16_t> Transposed;  // the same, row e = recovery e
};

// The rebuild of the lost slices of a solved TPar2Solver, one stripe (the same byte range of every
// slice) at a time: Start clears the outputs; then every present input slice and every chosen
// recovery slice is added once, in any order; then Output(j) is that stripe of Missing()[j]. The
// input slices are read as if padded with zeros to the slice size (so a stripe past the end of a
// file's last slice is simply not added). Holds m stripes; an input costs O(m^2) for its factors
// the first time (kept for the later stripes, within Par2MaxFactorCache bytes) plus m region
// multiplies.
class TPar2Rebuilder {
public:
    // The solver must outlive the rebuilder. stripe: the most bytes per stripe (even).
    TPar2Rebuilder(const TPar2Solver& solver, size_t stripe);
    // len: this stripe's length in bytes (even, at most stripe).
    void Start(size_t len);
    void AddInput(uint32_t i, const void* data);
    // e: the index in Chosen() of the recovery slice.
    void AddRecovery(size_t e, const void* data);
    const uint8_t* Output(size_t j) const { return Outputs.data() + j * Stripe; }

private:
    const uint16_t* FactorsOf(uint32_t i);

    const TPar2Solver& Solver;
    size_t Stripe, Len = 0;
    std::vector<uint8_t> Outputs;
    std::vector<uint16_t> Factors;
    std::vector<int32_t> Slot;      // per input slice: its factors' place in Kept, or -1
    std::vector<uint16_t> Kept;     // the factors of the inputs seen first, m each
};

// The most bytes a rebuilder keeps of input factors between stripes.
constexpr size_t Par2MaxFactorCache = 8u << 20;
