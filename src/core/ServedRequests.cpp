// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ServedRequests.h"

#include "core/CaptureRules.h"

quint64 ServedRequests::offered(Clock::time_point when)
{
    m_offered_at = when;
    m_counted = false;
    return ++m_current;
}

bool ServedRequests::is_paste(quint64 offer, const QString& type, Clock::time_point asked)
{
    return asked - m_offered_at >= k_keeper_window && is_paste(offer, type);
}

bool ServedRequests::is_paste(quint64 offer, const QString& type)
{
    if (offer == 0 || offer != m_current || m_counted || capture_rules::is_pseudo_target(type))
        return false;
    m_counted = true;
    return true;
}
