#include "ModuleParams.h"

namespace sim {

namespace {

constexpr std::int32_t Big = 9999999;

std::vector<TParamSpec> StandardSpecs()
{
    return {
        {20, 0, 100},                                                            // zero range %
        {2, 0, 100},                                                             // power-up zero %
        {15090, 0, Big},                                                         // overload limit
        {4, 1, 50},                                                              // filter value, Hz
        {15000, 0, Big},                                                         // tare range
        {-200, -Big, 0},                                                         // underload limit
        {10, 1, 1000},                                                           // averaging count
        {500, 10, 60000},                                                        // measuring time
        {0, 0, 1},                                                               // filter mode
        {2, 0, 10000},                                                           // no-motion range
        {500, 0, 10000},                                                         // no-motion time
        {5, 0, 1000},                                                            // zero track range
        {1000, 100, 60000},                                                      // zero track time
        {100, 0, 60000},                                                         // start delay
        {0, -Big, Big},                                                          // tare limit
        {0, 0, 3},                                                               // output mode
        {100, 1, 1600, false, {1, 2, 5, 10, 25, 50, 100, 200, 400, 800, 1600}},  // update rate
        {0, 0, 1, true},                                                         // zero tracking
        {1000, 10, 10000},                                                       // dTime
    };
}

std::vector<TParamSpec> TriggerSpecs()
{
    return {
        {500, -Big, Big},  // level
        {1, 0, 1},         // edge: 1 rising
        {50, 0, Big},      // retrigger window
        {1000, 0, 60000},  // retrigger time
        {2000, 0, 60000},  // hold time
        {0, 0, Big},       // tare window (0: no auto tare)
        {1000, 0, 60000},  // tare time
        {0, 0, 1},         // retrigger stop
    };
}

std::vector<TParamSpec> FillingSpecs()
{
    return {
        {1000, 1, Big},         // target
        {150, 0, Big},          // coarse cut-off
        {5, 0, Big},            // fine cut-off
        {10, 0, Big},           // upper tolerance
        {10, 0, Big},           // lower tolerance
        {50, 0, Big},           // empty limit
        {500, 0, 60000},        // tare delay
        {1000, 0, 60000},       // settling time
        {60000, 1000, 600000},  // max fill time
        {1, 0, 1},              // cut-off correction
    };
}

std::vector<TParamSpec> MassFlowSpecs()
{
    return {
        {18000, 0, Big},       // set-point, display units per hour
        {5, 0, 100},           // tolerance %
        {500, 0, Big},         // refill low limit
        {2000, 0, Big},        // refill high limit
        {10000, 100, 600000},  // refill time
        {2000, 100, 60000},    // flow calculation time
        {100, 0, 1000},        // controller gain %
        {5000, 0, 60000},      // integral time
        {100, 0, 100},         // max output %
        {0, 0, 100},           // min output %
    };
}

}  // namespace

TModuleParams::TModuleParams()
    : standard(StandardSpecs(), errBadGenValueId, errBadGenParamValue),
      trigger(TriggerSpecs(), errBadTrigParamId, errBadTrigParamValue),
      filling(FillingSpecs(), errBadFillParamId, errBadFillParamValue),
      massflow(MassFlowSpecs(), errBadFlowValueId, errBadFlowParamValue)
{
}

void TModuleParams::ResetSetup()
{
    standard.Reset();
    trigger.Reset();
    filling.Reset();
    massflow.Reset();
}

}  // namespace sim
