// The names of suites, quantities, operators and verdicts, and the judgement
// of a measured value against its limit.
#include "core/qualify/verdict.h"

#include <cmath>
#include <cstring>

namespace {

const char* const SUITE_NAMES[SUITE_KIND_COUNT] = {"stability", "sweep", "power", "tap", "removal"};

constexpr uint32_t BIT(SuiteKind kind)
{
    return 1u << kind;
}

const struct {
    const char* name;
    uint32_t suites;  // the kinds that measure it, by BIT
} QUANTITIES[QUANTITY_COUNT] = {
    {"runs", BIT(SUITE_STABILITY) | BIT(SUITE_SWEEP) | BIT(SUITE_POWER) | BIT(SUITE_TAP) | BIT(SUITE_REMOVAL)},
    {"failures", BIT(SUITE_STABILITY) | BIT(SUITE_SWEEP) | BIT(SUITE_POWER) | BIT(SUITE_TAP) | BIT(SUITE_REMOVAL)},
    {"min_us", BIT(SUITE_STABILITY)},
    {"median_us", BIT(SUITE_STABILITY)},
    {"p90_us", BIT(SUITE_STABILITY)},
    {"p99_us", BIT(SUITE_STABILITY)},
    {"max_us", BIT(SUITE_STABILITY)},
    {"mean_us", BIT(SUITE_STABILITY)},
    {"per_byte_us", BIT(SUITE_SWEEP)},
    {"fixed_us", BIT(SUITE_SWEEP)},
    {"bytes_per_s", BIT(SUITE_SWEEP)},
    {"failed_lengths", BIT(SUITE_SWEEP)},
    {"atr_changes", BIT(SUITE_POWER) | BIT(SUITE_TAP)},
    {"median_ms", BIT(SUITE_POWER)},
    {"max_ms", BIT(SUITE_POWER)},
    {"mean_ms", BIT(SUITE_POWER)},
    {"missed_taps", BIT(SUITE_TAP)},
    {"removals", BIT(SUITE_TAP)},
    {"connect_ms", BIT(SUITE_TAP)},
    {"connect_max_ms", BIT(SUITE_TAP)},
    {"first_answer_ms", BIT(SUITE_TAP)},
    {"first_answer_max_ms", BIT(SUITE_TAP)},
    {"in_field_ms", BIT(SUITE_TAP)},
    {"arrival_spread_ms", BIT(SUITE_TAP)},
    {"removal_seen_ms", BIT(SUITE_REMOVAL)},
    {"reconnected", BIT(SUITE_REMOVAL)},
};

const char* const OPERATORS[LIMIT_OPERATOR_COUNT] = {"<", "<=", ">", ">=", "="};
const char* const VERDICTS[] = {"pass", "fail", "inconclusive"};

}  // namespace

const char* SuiteKindName(SuiteKind kind)
{
    return kind >= 0 && kind < SUITE_KIND_COUNT ? SUITE_NAMES[kind] : "";
}

const char* QuantityName(Quantity quantity)
{
    return quantity >= 0 && quantity < QUANTITY_COUNT ? QUANTITIES[quantity].name : "";
}

bool SuiteMeasures(SuiteKind kind, Quantity quantity)
{
    return kind >= 0 && kind < SUITE_KIND_COUNT && quantity >= 0 && quantity < QUANTITY_COUNT
        && (QUANTITIES[quantity].suites & BIT(kind)) != 0;
}

Quantity FindQuantity(const char* name)
{
    for (int32_t i = 0; i < QUANTITY_COUNT; ++i)
        if (strcmp(QUANTITIES[i].name, name) == 0)
            return Quantity(i);
    return QUANTITY_COUNT;
}

const char* LimitOperatorText(LimitOperator op)
{
    return op >= 0 && op < LIMIT_OPERATOR_COUNT ? OPERATORS[op] : "";
}

const char* VerdictName(Verdict verdict)
{
    return verdict >= VERDICT_PASS && verdict <= VERDICT_INCONCLUSIVE ? VERDICTS[verdict] : "";
}

LimitResult JudgeLimit(const PlanLimit& limit, bool measured, double value)
{
    LimitResult result {limit, measured, measured ? value : 0, 0, VERDICT_INCONCLUSIVE};
    if (!measured || !std::isfinite(value))
        return LimitResult {limit, false, 0, 0, VERDICT_INCONCLUSIVE};
    bool met = false;
    switch (limit.op) {
    case LIMIT_BELOW:
    case LIMIT_AT_MOST:
        result.margin = limit.value - value;
        met = limit.op == LIMIT_BELOW ? value < limit.value : value <= limit.value;
        break;
    case LIMIT_ABOVE:
    case LIMIT_AT_LEAST:
        result.margin = value - limit.value;
        met = limit.op == LIMIT_ABOVE ? value > limit.value : value >= limit.value;
        break;
    case LIMIT_EQUAL:
        result.margin = value == limit.value ? 0.0 : -std::fabs(value - limit.value);
        met = value == limit.value;
        break;
    default:
        return result;
    }
    result.verdict = met ? VERDICT_PASS : VERDICT_FAIL;
    return result;
}

Verdict SuiteVerdict(bool complete, const LimitResult* limits, int32_t count)
{
    if (!complete)
        return VERDICT_INCONCLUSIVE;
    Verdict verdict = VERDICT_PASS;
    for (int32_t i = 0; i < count; ++i) {
        if (limits[i].verdict == VERDICT_FAIL)
            return VERDICT_FAIL;
        if (limits[i].verdict == VERDICT_INCONCLUSIVE)
            verdict = VERDICT_INCONCLUSIVE;
    }
    return verdict;
}
