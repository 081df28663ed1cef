// Precompiled for every Qt test suite: Qt's test and widget headers are the
// slowest part of compiling these suites.
#include <QtGui>
#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>
