// GDAL's network access turned off for the whole process: a source from a stranger must not
// make the importer fetch URLs (an OGR VRT, a GeoJSON "crs" link, a view calling a geocoder).
#ifndef KVGIMPORT_GDAL_NETWORK_H
#define KVGIMPORT_GDAL_NETWORK_H

namespace kvgimport {

// Every HTTP request GDAL makes fails with "network access is off", and the network file
// systems (/vsicurl/, /vsis3/, ... and their streaming forms) open nothing. Done once.
void turnOffGdalNetwork();

}  // namespace kvgimport

#endif  // KVGIMPORT_GDAL_NETWORK_H
