// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SignalAnalysis.h"

const char* ChannelRelationName(ChannelRelation relation)
{
    switch (relation) {
    case ChannelRelation::Mono: return "mono";
    case ChannelRelation::Identical: return "identical";
    case ChannelRelation::OneSilent: return "one silent";
    case ChannelRelation::BothSilent: return "both silent";
    case ChannelRelation::Independent: return "independent";
    case ChannelRelation::NotCompared: return "not compared";
    case ChannelRelation::DitherApart: return "identical but for dither";
    }
    return "independent";
}

const char* DropoutKindName(DropoutKind kind)
{
    return kind == DropoutKind::ZeroRun ? "zero run" : "discontinuity";
}
