#pragma once

#include <QString>

#include <optional>

struct EditingContext;

// The key of the row a command works on. The Tools entries are offered also when no row is
// selected; then the operator is told to select one and there is nothing to work on.
std::optional<QString> selectedConnection(const EditingContext &context);
