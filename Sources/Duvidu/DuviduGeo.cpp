#include "Duvidu/DuviduGeo.h"

#include "Duvidu/DuviduHash.h"
#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

Value::Object DuviduGeo::serialize() const
{
    Value::Object json;
    setValueIfPresent(json, "city", city);
    setValueIfPresent(json, "country_code", countryCode);
    setValueIfPresent(json, "region", region);
    return json;
}

size_t DuviduGeo::hash() const
{
    return DuviduHash().add(city).add(countryCode).add(region).value();
}

}  // namespace duvidu
