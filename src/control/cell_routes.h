#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include <httplib.h>

#include "control/http_answers.h"
#include "control/value_run.h"

// GET and PUT of one table's cells, the same for all four tables: a route row names the table by
// its operator operations, e.g. AnswerCells<PeekInputRegisters> and PutCells<PokeInputRegisters>.
// Registers of either kind take values 0..65535; coils and discrete inputs 0, 1, true or false.
// Like the console's edits, both ignore the address window, and a PUT is written in one hold of
// the table's lock.

template <typename Cell>
Cell CellOf(void (*)(uint32_t, uint32_t, Cell*));
template <typename Cell>
Cell CellOf(void (*)(uint32_t, uint32_t, const Cell*));

template <typename Cell>
using CellRun = std::conditional_t<std::is_same_v<Cell, uint16_t>, RegisterRun, CoilRun>;

inline bool ParseCellRun(const JsonDocument& document, RegisterRun* run, std::string* problem)
{
    return ParseRegisterRun(document, "", run, problem);
}

inline bool ParseCellRun(const JsonDocument& document, CoilRun* run, std::string* problem)
{
    return ParseCoilRun(document, "", run, problem);
}

// ?start=S&count=N: {"start": S, "values": [...]}.
template <auto Peek>
void AnswerCells(const httplib::Request& request, httplib::Response& response)
{
    using Cell = decltype(CellOf(Peek));
    CellRange range{};
    std::string problem;
    if (!ReadCellRange(request, &range, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    std::vector<Cell> values(range.count);
    Peek(range.start, range.count, values.data());
    AnswerJson(response, JsonDocument{{"start", range.start}, {"values", values}});
}

// {"start": S, "values": [...]}, checked whole before anything is written; answers
// {"start": S, "count": N}, so that a script sees what it changed.
template <auto Poke>
void PutCells(const httplib::Request& request, httplib::Response& response)
{
    using Cell = decltype(CellOf(Poke));
    JsonDocument document;
    CellRun<Cell> run;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ParseCellRun(document, &run, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    Poke(run.start, static_cast<uint32_t>(run.values.size()), run.values.data());
    AnswerJson(response, JsonDocument{{"start", run.start}, {"count", run.values.size()}});
}
