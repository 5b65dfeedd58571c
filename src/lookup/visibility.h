#pragma once

// The show and hide sequences of the lookups, each in the order in which the
// window changes.
#include <initializer_list>
#include <utility>

#include "lookup/lookup_ports.h"

namespace quarvel::visibility {

using Step = std::pair<LookupControl, bool>;
using Steps = std::initializer_list<Step>;
using C = LookupControl;

inline void Apply(LookupView& view, Steps steps) {
  for (const auto& [control, visible] : steps) view.SetVisible(control, visible);
}

// A comprehensive query starts: busy indicators on, every result off.
inline constexpr Steps kComprehensiveBusy = {{C::ResultPicture, false},    {C::BusyAnimation, true},
                                             {C::BusyLabel, true},         {C::ModelLabel, false},
                                             {C::WarrantyEndLabel, false}, {C::SerialLabel, false},
                                             {C::MonthTableButton, false}, {C::CopyButton, false}};

// An official-site query starts: the same, in its own order.
inline constexpr Steps kOfficialBusy = {{C::BusyAnimation, true},     {C::BusyLabel, true},
                                        {C::ResultPicture, false},    {C::MonthTableButton, false},
                                        {C::CopyButton, false},       {C::ModelLabel, false},
                                        {C::WarrantyEndLabel, false}, {C::SerialLabel, false}};

// A comprehensive query ends without a picture.
inline constexpr Steps kLookupFailed = {{C::ResultPicture, false},
                                        {C::BusyLabel, false},
                                        {C::BusyAnimation, false},
                                        {C::WatermarkLabel, false}};

// A comprehensive query shows its picture.
inline constexpr Steps kLookupShown = {{C::BusyAnimation, false},
                                       {C::BusyLabel, false},
                                       {C::ResultPicture, true},
                                       {C::WatermarkLabel, true},
                                       {C::ScreenshotButton, true}};

// An official-site result: the labels, then the end of the busy state, then
// (after the timer stops) the buttons.
inline constexpr Steps kWarrantyLabels = {
    {C::ModelLabel, true}, {C::WarrantyEndLabel, true}, {C::SerialLabel, true}};
inline constexpr Steps kWarrantyBusyEnded = {
    {C::BusyAnimation, false}, {C::BusyLabel, false}, {C::WatermarkLabel, true}};
inline constexpr Steps kWarrantyButtons = {{C::MonthTableButton, true}, {C::CopyButton, true}};

// The warranty page rejected the serial.
inline constexpr Steps kWarrantyRejected = {{C::ResultPicture, false}, {C::BusyLabel, false},
                                            {C::BusyAnimation, false}, {C::WatermarkLabel, false},
                                            {C::ModelLabel, false},    {C::WarrantyEndLabel, false},
                                            {C::SerialLabel, false}};

// A path timed out: only the busy indicators go.
inline constexpr Steps kBusyEnded = {{C::BusyAnimation, false}, {C::BusyLabel, false}};

}  // namespace quarvel::visibility
