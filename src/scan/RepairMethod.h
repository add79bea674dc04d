#pragma once
#include "document/Settings.h"

namespace tarnival {

// How a correction's replacement samples are made. Standard: the cubic or the spectral
// reconstruction over the record's whole span. Precise: only the samples an autoregressive model
// finds damaged are interpolated; wide damage still goes the standard way.
enum class RepairMethod { Standard, Precise };

// The stored "Repair Method" value: anything unknown is the standard method, so an old store or
// session keeps the audio it always had.
inline RepairMethod repairMethodFromId(int id) {
    return id == ids::kRepairPrecise ? RepairMethod::Precise : RepairMethod::Standard;
}
inline int repairMethodId(RepairMethod method) {
    return method == RepairMethod::Precise ? ids::kRepairPrecise : ids::kRepairStandard;
}

} // namespace tarnival
