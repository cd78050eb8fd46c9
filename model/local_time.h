// Local calendar time of a moment given as seconds since the epoch. With a
// 64-bit time_t (the controller's build asks for one) this holds past 2038.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <ctime>

// not_a_date_time when the moment has no local time or lies outside the
// years a calendar date can hold.
boost::posix_time::ptime local_time_at(std::time_t t);
