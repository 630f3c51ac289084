#pragma once
// The OpenGL context for tests that draw or make textures: the test program's main opens the
// viewer's 1024 x 768 window once, before the first test, and fails every test if it cannot.
// Link gl_test_window.cpp instead of gtest_main.
#include <cstdint>

constexpr int32_t GL_TEST_WIDTH = 1024;
constexpr int32_t GL_TEST_HEIGHT = 768;

// The viewer's projection (45 degrees vertically, 4:3, clip planes 0.1 and 1000) with an identity
// model-view matrix, which is left the current matrix.
void setViewerProjection();
