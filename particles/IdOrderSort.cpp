// SPDX-License-Identifier: Apache-2.0
// The identifier order's sort: exchange sort on short ranges, otherwise a merge sort that
// takes from the second half only when the first half's next element is greater, so equal
// identifiers keep their order.
#include "particles/PGroup.h"

namespace {

using IDORD = FluxaFrameData::PGroup::IDORD;

constexpr int32_t ExchangeLimit = 7;

void exchangeSort(const IDORD& order, int32_t* items, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            if (order.greater(items[i], items[j])) {
                const int32_t swapped = items[i];
                items[i] = items[j];
                items[j] = swapped;
            }
        }
    }
}

// Sorts items[0, n) with scratch[0, n) as the merge buffer.
void mergeSort(const IDORD& order, int32_t* items, int32_t* scratch, int32_t n) {
    if (n < ExchangeLimit) {
        exchangeSort(order, items, n);
        return;
    }
    const int32_t half = n / 2;
    mergeSort(order, items, scratch, half);
    mergeSort(order, items + half, scratch + half, n - half);
    int32_t first = 0;
    int32_t second = half;
    for (int32_t out = 0; out < n; ++out) {
        const bool takeSecond =
            second < n && (first == half || order.greater(items[first], items[second]));
        scratch[out] = takeSecond ? items[second++] : items[first++];
    }
    for (int32_t i = 0; i < n; ++i) {
        items[i] = scratch[i];
    }
}

} // namespace

bool IDORD::sort() {
    iArray<int32_t> scratch;
    if (!scratch.SetSize(Count(), nullptr, true)) {
        return false;
    }
    mergeSort(*this, Data(), scratch.Data(), Count());
    return true;
}
