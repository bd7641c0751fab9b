// The save path's output: a node tree turned into one line of markup, written to a file safely.
#pragma once

#include <string>

class XmlNode;

// Appends the markup of the chain headed by first (each node, everything below it, and its
// following siblings) to out. A null first appends nothing.
void writeXml(const XmlNode* first, std::string& out);

// Writes the markup of the document to a new temporary file beside fileName, makes it durable
// and renames it over fileName, so the old file stays whole until the new one is complete. Any
// failure (creating, writing, syncing, closing or renaming) throws code 102 "error opening file
// for writing"; the old file is then untouched and the temporary file removed.
void writeXmlFile(const XmlNode* document, const std::string& fileName);
