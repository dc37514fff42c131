#pragma once

#include "RawLine.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <memory>

// A simulated module serving on its pseudo-terminal, with a raw line to it
// that takes frames and replies as fast as the terminal goes.
class ModuleOnRawLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_module.Start());
        m_line = std::make_unique<RawLine>(m_module.SlavePath());
        ASSERT_TRUE(m_line->IsOpen());
    }

    SimulatedModule m_module;
    std::unique_ptr<RawLine> m_line;
};
