#include "irql.h"

#include <cstdio>

#include "bugcheck.h"

namespace kstandin {
namespace {
thread_local KIRQL tIrql = PASSIVE_LEVEL;
}  // namespace

void SetCurrentIrql(KIRQL irql) { tIrql = irql; }

void RequireIrqlAtMost(KIRQL highest, const char* call) {
  if (tIrql <= highest) return;
  char what[160];
  std::snprintf(what, sizeof what, "%s called at IRQL %u, above %u", call, tIrql, highest);
  BugCheck(IRQL_NOT_LESS_OR_EQUAL, what, tIrql, highest);
}

}  // namespace kstandin

extern "C" {

KIRQL KeGetCurrentIrql() { return kstandin::tIrql; }

void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
  if (NewIrql < kstandin::tIrql)
    kstandin::BugCheck(kstandin::IRQL_NOT_GREATER_OR_EQUAL, "KeRaiseIrql to a lower IRQL", kstandin::tIrql, NewIrql);
  *OldIrql = kstandin::tIrql;
  kstandin::tIrql = NewIrql;
}

void KeLowerIrql(KIRQL NewIrql) {
  if (NewIrql > kstandin::tIrql)
    kstandin::BugCheck(kstandin::IRQL_NOT_LESS_OR_EQUAL, "KeLowerIrql to a higher IRQL", kstandin::tIrql, NewIrql);
  kstandin::tIrql = NewIrql;
}

}  // extern "C"
