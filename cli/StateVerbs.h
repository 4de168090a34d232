#pragma once
// tazelctl's state file verbs: dump, diff and apply (session/StateReader.h, Plan.h, PlanRunner.h).

#include <QString>

struct CliContext;

bool IsStateVerb(const QString& object);
int RunStateVerb(const CliContext& context);
