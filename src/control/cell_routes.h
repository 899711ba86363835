#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include <httplib.h>

#include "control/http_answers.h"
#include "control/typed_run.h"
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

// Registers may be read and written as values of a type (typed_run.h); bits have none, and a type
// or an order asked of them is refused rather than ignored.
inline constexpr const char* kBitsHaveNoType =
    "type and order are for registers; coils and discrete inputs hold single bits";

// typed_cell_routes.cpp
using RegisterPeek = void (*)(uint32_t, uint32_t, uint16_t*);
bool AsksForValueType(const httplib::Request& request);
// ?start=S&count=N&type=T&order=O: {"start": S, "type": T, "order": O, "values": [...]}, `type`
// and `order` echoed when asked; `count` counts values of the type (for ascii, characters).
void AnswerTypedRegisters(const httplib::Request& request, httplib::Response& response, RegisterPeek peek);

inline bool ParseCellRun(const JsonDocument& document, RegisterRun* run, std::string* problem)
{
    return ParseTypedRegisterRun(document, "", run, problem);
}

inline bool ParseCellRun(const JsonDocument& document, CoilRun* run, std::string* problem)
{
    if (document.is_object() && (document.contains("type") || document.contains("order"))) {
        *problem = kBitsHaveNoType;
        return false;
    }
    return ParseCoilRun(document, "", run, problem);
}

// ?start=S&count=N: {"start": S, "values": [...]}.
template <auto Peek>
void AnswerCells(const httplib::Request& request, httplib::Response& response)
{
    using Cell = decltype(CellOf(Peek));
    if (AsksForValueType(request)) {
        if constexpr (std::is_same_v<Cell, uint16_t>) {
            AnswerTypedRegisters(request, response, Peek);
        } else {
            AnswerError(response, 400, kBitsHaveNoType);
        }
        return;
    }
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

// {"start": S, "values": [...]}, or a typed run for registers, checked whole before anything is
// written; answers {"start": S, "count": N} with N the cells written, so that a script sees what
// it changed.
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
