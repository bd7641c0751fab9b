// A file that describes itself: save with the tables' definitions, open it in an instance that
// defined nothing, and find records by value.
#include <stdio.h>

#include "velmora/Client.h"

using namespace velmora;

namespace {

const char* typeName(int type) {
  switch (type) {
    case kIntField:
      return "Int";
    case kStringField:
      return "String";
    case kLongField:
      return "Long";
    case kRelationField:
      return "Relation";
  }
  return "?";
}

void addBook(DatabaseClient& db, const char* title, int year) {
  db.ChooseTable("book");
  db.SetString("title", title);
  db.SetInt("year", year);
  db.AddRecord(-1);
}

void addLoan(DatabaseClient& db, int book, const char* reader) {
  db.ChooseTable("loan");
  db.SetRelation("book", book);
  db.SetString("reader", reader);
  db.AddRecord(-1);
}

}  // namespace

int main() {
  try {
    ComInitializer com;
    {
      DatabaseClient db("library", 1);
      db.CreateTemporaryTable();
      db.AddField("title", kStringField);
      db.AddField("year", kIntField);
      db.CreateTable("book");
      db.CreateTemporaryTable();
      db.AddRelationField("book", "book");
      db.AddField("reader", kStringField);
      db.CreateTable("loan");
      addBook(db, "Dune", 1965);
      addBook(db, "Solaris", 1961);
      addBook(db, "Ubik", 1969);
      addLoan(db, 0, "ada");
      addLoan(db, 2, "alan");
      addLoan(db, 0, "grace");
      db.saveWithSchema("library.xml");
    }

    // A new instance knows no tables; open brings the name, the tables and the records.
    DatabaseClient db("empty", 1);
    db.open("library.xml");
    printf("database %s, %d tables\n", db.databaseName().c_str(), db.GetTableCount());
    for (int t = 0; t < db.GetTableCount(); ++t) {
      printf("%s:", db.GetTableName(t).c_str());
      for (int f = 0; f < db.GetFieldCountAt(t); ++f) {
        const std::string field = db.GetFieldNameAt(t, f);
        printf(" %s %s", field.c_str(), typeName(db.GetFieldTypeAt(t, field)));
      }
      printf(" (%d records)\n", db.GetRecordCountAt(t));
    }

    // Lookups return the first existing record at or after `from`, or -1.
    const int dune = db.findString("book", "title", "Dune");
    printf("Dune is book %d, the 1961 book is %d, a 2001 book: %d\n", dune,
           db.findInt("book", "year", 1961), db.findInt("book", "year", 2001));
    printf("Dune is lent to:");
    for (int loan = db.findInt("loan", "book", dune); loan >= 0;
         loan = db.findInt("loan", "book", dune, loan + 1)) {
      printf(" %s", db.GetString("loan", loan, "reader").c_str());
    }
    printf("\n");
    return 0;
  } catch (const Exception& e) {
    fprintf(stderr, "%s: %s (error %d)\n", e.what(), e.description().c_str(), e.errorNumber());
    return 1;
  }
}
