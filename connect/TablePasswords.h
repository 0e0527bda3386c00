#pragma once

// The suite's table passwords, decoded from their stored scrambled form.
// The connection module registers them with the session at start-up; the
// demo-suite generator protects its tables with them.

#include <QStringList>

QStringList TablePasswords();
