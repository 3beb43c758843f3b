#pragma once
// What nearly every test program parses before its first line of its own:
// GoogleTest, GoogleMock, the Qt widgets the tests drive and the standard
// library. Compiled once per build tree and shared by every test program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
