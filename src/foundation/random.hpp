#pragma once
// Random choices draw from one engine per thread; with the setting RANDOM off every choice
// takes the first candidate and keeps the given order.
#include <cstdint>
#include <random>
#include <vector>

std::mt19937& randomEngine();               // the calling thread's engine
void gf_seedRandomEngine(std::uint32_t seed);  // tests: make the calling thread's draws repeatable

std::uint64_t gf_randomIndex(std::uint64_t count);  // [0, count)
void gf_shuffle(std::vector<std::uint16_t>& values);
double gf_randomPlusMinusPercent(double value, double percent);
